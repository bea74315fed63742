// The threading half of a host whose user-interface thread runs its own loop
// over a TaskQueue: the console host and the test recorder share it. The
// thread that constructs the host is its user-interface thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

#include "ui/host.h"
#include "ui/task_queue.h"

namespace ui {

class LoopHost : public Host {
  public:
    explicit LoopHost(ResourceSet resources) : Host(std::move(resources)) {}
    // Waits for the threads it started to finish: they may still hand
    // requests to this host.
    ~LoopHost() override;

    [[nodiscard]] bool IsUiThread() const override { return queue_.IsOwnerThread(); }
    void SendToUiThread(const std::function<void()>& task) override { queue_.Send(task); }
    [[nodiscard]] bool StartThread(std::function<void()> work) override;

    // Threads started through StartThread that have not finished.
    [[nodiscard]] int ActiveThreads() const;

    // Makes StartThread fail, as when the system has no thread to give.
    void SetThreadStartFails(bool fails) { threadStartFails_ = fails; }

  protected:
    TaskQueue& Queue() { return queue_; }
    // Runs on the user-interface thread after a started thread has finished.
    virtual void OnThreadEnded() {}
    // Stops serving requests (a thread still waiting for one goes on at once)
    // and blocks until every started thread has finished. Idempotent.
    void Shutdown();
    // Blocks until every started thread has finished; none may be waiting
    // for this thread.
    void WaitForThreads();

  private:
    TaskQueue queue_;
    mutable std::mutex threadsMutex_;
    std::condition_variable threadsDone_;
    int activeThreads_ = 0;
    bool threadStartFails_ = false;
};

}  // namespace ui
