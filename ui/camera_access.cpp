#include "ui/camera_access.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ui {

std::string HintForOpenError(const std::string& node, int error) {
    if (error == EACCES || error == EPERM)
        return node +
               ": permission denied. Add your user to the \"video\" group "
               "(sudo usermod -aG video $USER, then log in again) or run from the desktop "
               "session; see docs/real-cameras.md.";
    if (error == EBUSY) return node + ": busy (another program holds the camera).";
    return {};
}

std::vector<std::string> CameraAccessHints(const std::string& devDir) {
    std::vector<std::string> nodes;
    if (DIR* dir = ::opendir(devDir.c_str())) {
        while (const dirent* e = ::readdir(dir))
            if (std::strncmp(e->d_name, "video", 5) == 0) nodes.push_back(devDir + "/" + e->d_name);
        ::closedir(dir);
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<std::string> hints;
    for (const std::string& node : nodes) {
        const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0) {
            ::close(fd);
            continue;
        }
        std::string hint = HintForOpenError(node, errno);
        if (!hint.empty()) hints.push_back(std::move(hint));
    }
    return hints;
}

}  // namespace ui
