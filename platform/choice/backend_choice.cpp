// Binds the backend choice to the two backends built into the library.
#include "platform/backend.h"

namespace platform {

HRESULT InitializePlatform() {
    return InitializePlatformWith({&MakeSimulatorBackend, &MakeSystemBackend});
}

}  // namespace platform
