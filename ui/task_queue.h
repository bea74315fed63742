// The user-interface thread's queue of requests from other threads. A host
// runs the queued tasks in its loop; a thread that sends a task waits until
// it has run.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace ui {

class TaskQueue {
  public:
    // The constructing thread is the queue's owner, the one that runs tasks.
    TaskQueue();
    ~TaskQueue();
    TaskQueue(const TaskQueue&) = delete;
    TaskQueue& operator=(const TaskQueue&) = delete;

    [[nodiscard]] bool IsOwnerThread() const;

    // Queues `task` to run on the owner thread; dropped once the queue is closed.
    void Post(std::function<void()> task);
    // Runs `task` on the owner thread and waits for it; from the owner thread
    // it runs at once. After Close it does nothing.
    void Send(const std::function<void()>& task);

    // Owner thread: runs one queued task; false when there was none.
    bool RunOne();
    // Owner thread: blocks until a task is queued or Wake is called.
    void Wait();
    // Ends a Wait early (another source of events has something).
    void Wake();
    // Called (on the posting thread) after each Post; a host that waits on
    // something else than Wait uses it to wake itself.
    void SetPostHook(std::function<void()> hook);

    // No task runs after this; waiting senders return.
    void Close();

  private:
    struct Item {
        std::function<void()> task;
        bool* done = nullptr;  // set when a sender waits for the task
    };

    const std::thread::id owner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> items_;
    std::function<void()> postHook_;
    bool closed_ = false;
    bool woken_ = false;
};

}  // namespace ui
