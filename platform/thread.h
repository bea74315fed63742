// Starting short-lived worker threads for the timed device calls.
#pragma once

#include <functional>

namespace platform {

// Starts `work` on a new detached thread. False when no thread could be created
// (the work then never runs).
[[nodiscard]] bool StartDetachedThread(std::function<void()> work);

// Tests make thread creation fail to reach the "no thread" path.
void SetThreadCreationFailsForTesting(bool fails);

}  // namespace platform
