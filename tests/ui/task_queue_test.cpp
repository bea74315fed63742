#include "ui/task_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace ui {
namespace {

TEST(TaskQueueTest, SendRunsOnTheOwnerAndReturnsAfterward) {
    TaskQueue queue;
    std::thread::id ranOn;
    int value = 0;
    int seenBySender = -1;
    std::thread sender([&] {
        queue.Send([&] {
            ranOn = std::this_thread::get_id();
            value = 42;
        });
        seenBySender = value;
    });
    while (!queue.RunOne()) queue.Wait();
    sender.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(seenBySender, 42);
}

TEST(TaskQueueTest, FromTheOwnerSendRunsAtOnce) {
    TaskQueue queue;
    bool ran = false;
    queue.Send([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_FALSE(queue.RunOne());
}

TEST(TaskQueueTest, ClosingReleasesAWaitingSenderWithoutRunningItsTask) {
    TaskQueue queue;
    std::atomic<bool> queued{false};
    queue.SetPostHook([&] { queued = true; });
    bool ran = false;
    std::thread sender([&] { queue.Send([&] { ran = true; }); });
    while (!queued) queue.Wait();
    queue.Close();
    sender.join();
    EXPECT_FALSE(ran);
    EXPECT_FALSE(queue.RunOne());
}

}  // namespace
}  // namespace ui
