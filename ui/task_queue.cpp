#include "ui/task_queue.h"

#include <utility>

namespace ui {

TaskQueue::TaskQueue() : owner_(std::this_thread::get_id()) {}

TaskQueue::~TaskQueue() {
    Close();
}

bool TaskQueue::IsOwnerThread() const {
    return std::this_thread::get_id() == owner_;
}

void TaskQueue::SetPostHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    postHook_ = std::move(hook);
}

void TaskQueue::Post(std::function<void()> task) {
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;
        items_.push_back({std::move(task), nullptr});
        hook = postHook_;
    }
    changed_.notify_all();
    if (hook) hook();
}

void TaskQueue::Send(const std::function<void()>& task) {
    if (IsOwnerThread()) {
        task();
        return;
    }
    bool done = false;
    std::function<void()> hook;
    std::unique_lock<std::mutex> lock(mutex_);
    if (closed_) return;
    items_.push_back({[&task] { task(); }, &done});
    hook = postHook_;
    lock.unlock();
    changed_.notify_all();
    if (hook) hook();
    lock.lock();
    changed_.wait(lock, [&] { return done || closed_; });
}

bool TaskQueue::RunOne() {
    Item item;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_ || items_.empty()) return false;
        item = std::move(items_.front());
        items_.pop_front();
    }
    item.task();
    if (item.done) {
        std::lock_guard<std::mutex> lock(mutex_);
        *item.done = true;
    }
    changed_.notify_all();
    return true;
}

void TaskQueue::Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return closed_ || woken_ || !items_.empty(); });
    woken_ = false;
}

void TaskQueue::Wake() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
    }
    changed_.notify_all();
}

void TaskQueue::Close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        items_.clear();
    }
    changed_.notify_all();
}

}  // namespace ui
