#include "preview/camera_show.h"

namespace quillon {

CameraShow::~CameraShow() {
    if (active) Stop();
}

int32_t CameraShow::Stop() {
    running = 0;
    graphBuilt = 0;
    active = 0;
    return 1;
}

}  // namespace quillon
