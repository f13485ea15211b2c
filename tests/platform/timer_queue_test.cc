#include "platform/timer_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/sync.h"

namespace platform {
namespace {

using std::chrono::milliseconds;

struct Counter {
    std::atomic<int> calls{0};
    std::atomic<bool> allFired{true};
    static void Tick(void* context, bool fired) {
        auto* self = static_cast<Counter*>(context);
        if (!fired) {
            self->allFired = false;
        }
        ++self->calls;
    }
};

bool WaitFor(const std::atomic<int>& value, int atLeast, int timeoutMs) {
    for (int waited = 0; value.load() < atLeast && waited < timeoutMs; waited += 5) {
        std::this_thread::sleep_for(milliseconds(5));
    }
    return value.load() >= atLeast;
}

TEST(TimerQueueTest, PeriodicTimerFiresRepeatedlyUntilDeleted) {
    TimerQueue* queue = CreateTimerQueue();
    ASSERT_NE(queue, nullptr);
    Counter counter;
    ASSERT_NE(CreateTimerQueueTimer(queue, &Counter::Tick, &counter, 10, 20), nullptr);
    EXPECT_TRUE(WaitFor(counter.calls, 5, 5000));
    DeleteTimerQueue(queue);
    std::this_thread::sleep_for(milliseconds(50));
    const int afterDelete = counter.calls.load();
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(counter.calls.load(), afterDelete);
    EXPECT_TRUE(counter.allFired.load());
}

TEST(TimerQueueTest, OneShotTimerFiresOnce) {
    TimerQueue* queue = CreateTimerQueue();
    ASSERT_NE(queue, nullptr);
    Counter counter;
    ASSERT_NE(CreateTimerQueueTimer(queue, &Counter::Tick, &counter, 5, 0), nullptr);
    EXPECT_TRUE(WaitFor(counter.calls, 1, 5000));
    std::this_thread::sleep_for(milliseconds(60));
    EXPECT_EQ(counter.calls.load(), 1);
    EXPECT_TRUE(DeleteTimerQueue(queue));
}

struct Blocking {
    CEvent entered{true};
    CEvent release{true};
    std::atomic<int> calls{0};
    // The callback is done with this object (set as its last step).
    std::atomic<bool> left{false};
    static void Run(void* context, bool) {
        auto* self = static_cast<Blocking*>(context);
        ++self->calls;
        self->entered.Set();
        self->release.Wait();
        self->left = true;
    }
};

TEST(TimerQueueTest, DeleteDoesNotWaitForARunningCallback) {
    TimerQueue* queue = CreateTimerQueue();
    ASSERT_NE(queue, nullptr);
    Blocking blocking;
    ASSERT_NE(CreateTimerQueueTimer(queue, &Blocking::Run, &blocking, 0, 5), nullptr);
    ASSERT_TRUE(blocking.entered.Wait(5000));
    SetLastPlatformError(0);
    EXPECT_FALSE(DeleteTimerQueue(queue));
    EXPECT_EQ(LastPlatformError(), kErrorIoPending);
    blocking.release.Set();
    std::this_thread::sleep_for(milliseconds(100));
    // No callback started after the deletion; the queue is freed by then.
    EXPECT_EQ(blocking.calls.load(), 1);
    // The events live on the stack: the callback must be out of its wait
    // before they go, however slowly its thread is scheduled.
    for (int i = 0; i < 500 && !blocking.left; ++i) {
        std::this_thread::sleep_for(milliseconds(10));
    }
    EXPECT_TRUE(blocking.left);
}

struct SelfDeleting {
    TimerQueue* queue = nullptr;
    std::atomic<int> calls{0};
    std::atomic<bool> deleted{false};
    std::atomic<int> error{0};
    static void Run(void* context, bool) {
        auto* self = static_cast<SelfDeleting*>(context);
        if (++self->calls == 1) {
            self->deleted = !DeleteTimerQueue(self->queue);
            self->error = LastPlatformError();
        }
    }
};

TEST(TimerQueueTest, CallbackMayDeleteItsOwnQueue) {
    SelfDeleting self;
    self.queue = CreateTimerQueue();
    ASSERT_NE(self.queue, nullptr);
    ASSERT_NE(CreateTimerQueueTimer(self.queue, &SelfDeleting::Run, &self, 0, 5), nullptr);
    EXPECT_TRUE(WaitFor(self.calls, 1, 5000));
    std::this_thread::sleep_for(milliseconds(60));
    EXPECT_EQ(self.calls.load(), 1);
    EXPECT_TRUE(self.deleted.load());
    EXPECT_EQ(self.error.load(), kErrorIoPending);
}

TEST(TimerQueueTest, InvalidArgumentsAreRefused) {
    Counter counter;
    EXPECT_EQ(CreateTimerQueueTimer(nullptr, &Counter::Tick, &counter, 0, 10), nullptr);
    EXPECT_EQ(LastPlatformError(), 87);
    EXPECT_FALSE(DeleteTimerQueue(nullptr));
    EXPECT_EQ(LastPlatformError(), 6);

    TimerQueue* queue = CreateTimerQueue();
    ASSERT_NE(queue, nullptr);
    EXPECT_EQ(CreateTimerQueueTimer(queue, nullptr, &counter, 0, 10), nullptr);
    EXPECT_TRUE(DeleteTimerQueue(queue));
    // A deleted queue is recognised, not followed.
    EXPECT_FALSE(DeleteTimerQueue(queue));
    EXPECT_EQ(LastPlatformError(), 6);
    EXPECT_EQ(CreateTimerQueueTimer(queue, &Counter::Tick, &counter, 0, 10), nullptr);
}

}  // namespace
}  // namespace platform
