// Internal to the library and its tests: puts the library back to its state at
// process start (uninitialised, no error, empty registry).
#pragma once

namespace quillon {
void ResetLibraryForTesting();
}
