#include "ui/loop_host.h"

#include <system_error>
#include <thread>
#include <utility>

namespace ui {

LoopHost::~LoopHost() {
    Shutdown();
}

void LoopHost::Shutdown() {
    queue_.Close();
    WaitForThreads();
}

bool LoopHost::StartThread(std::function<void()> work) {
    if (threadStartFails_) return false;
    {
        std::lock_guard<std::mutex> lock(threadsMutex_);
        ++activeThreads_;
    }
    try {
        std::thread([this, work = std::move(work)] {
            work();
            // Under the lock the host cannot finish its destructor; once the
            // lock is released nothing of it may be touched. The end notice
            // is queued with the count already down, so whoever runs it sees
            // the thread gone.
            std::lock_guard<std::mutex> lock(threadsMutex_);
            --activeThreads_;
            queue_.Post([this] { OnThreadEnded(); });
            threadsDone_.notify_all();
        }).detach();
        return true;
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(threadsMutex_);
        --activeThreads_;
        return false;
    }
}

int LoopHost::ActiveThreads() const {
    std::lock_guard<std::mutex> lock(threadsMutex_);
    return activeThreads_;
}

void LoopHost::WaitForThreads() {
    std::unique_lock<std::mutex> lock(threadsMutex_);
    threadsDone_.wait(lock, [&] { return activeThreads_ == 0; });
}

}  // namespace ui
