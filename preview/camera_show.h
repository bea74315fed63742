// The preview and still-capture object a camera may own. Nothing builds a
// preview graph here; a device creates, stops and destroys a fresh one when it
// goes away, so stopping and destroying must work on an idle object.
#pragma once

#include <cstdint>

namespace quillon {

class CameraShow {
public:
    CameraShow() = default;
    ~CameraShow();
    CameraShow(const CameraShow&) = delete;
    CameraShow& operator=(const CameraShow&) = delete;

    int32_t Stop();

    uint32_t running = 0;
    uint32_t graphBuilt = 0;
    uint32_t active = 0;
};

}  // namespace quillon
