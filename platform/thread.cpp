#include "platform/thread.h"

#include <atomic>
#include <system_error>
#include <thread>

namespace platform {

namespace {
std::atomic<bool> g_creationFails{false};
}

bool StartDetachedThread(std::function<void()> work) {
    if (g_creationFails.load()) return false;
    try {
        std::thread(std::move(work)).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void SetThreadCreationFailsForTesting(bool fails) { g_creationFails = fails; }

}  // namespace platform
