// Why the system's cameras may be out of reach, told to the user by the front
// end: the library never prints, and its ten functions carry no reasons.
#pragma once

#include <string>
#include <vector>

namespace ui {

// A hint for a video node that could not be opened for reading and writing;
// empty when the error says nothing the user can act on.
std::string HintForOpenError(const std::string& node, int error);

// Hints for the video nodes in `devDir` (videoN) that the user may not open.
std::vector<std::string> CameraAccessHints(const std::string& devDir = "/dev");

}  // namespace ui
