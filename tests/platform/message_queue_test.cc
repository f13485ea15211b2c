#include "platform/message_queue.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace platform {
namespace {

struct Log {
    std::vector<Message> seen;
    static void Record(const Message& msg, void* context) {
        static_cast<Log*>(context)->seen.push_back(msg);
    }
};

void DrainQueue() {
    Message msg;
    while (PeekMessage(&msg)) {
    }
}

TEST(MessageQueueTest, PostedMessagesComeInOrderWithTheirTimeStamps) {
    DrainQueue();
    Log log;
    SetMessageHandler(kUserMessage, &Log::Record, &log);
    const uint32_t before = MessageClock();
    PostMessage(kUserMessage, 1, -1);
    PostMessage(kUserMessage + 5, 2, 0);  // no handler: ignored
    PostMessage(kUserMessage, 3, 0);
    Message msg;
    std::vector<uintptr_t> order;
    while (PeekMessage(&msg)) {
        order.push_back(msg.wparam);
        EXPECT_EQ(LastMessageTime(), msg.time);
        EXPECT_LE(static_cast<uint32_t>(msg.time - before), 1000u);
        DispatchMessage(msg);
    }
    SetMessageHandler(kUserMessage, nullptr, nullptr);
    EXPECT_EQ(order, (std::vector<uintptr_t>{1, 2, 3}));
    ASSERT_EQ(log.seen.size(), 2u);
    EXPECT_EQ(log.seen[0].lparam, -1);
    EXPECT_EQ(log.seen[1].wparam, 3u);
}

TEST(MessageQueueTest, QuitComesAfterThePendingMessages) {
    DrainQueue();
    PostQuitMessage(3);
    PostMessage(kUserMessage, 9, 0);
    Message msg;
    EXPECT_EQ(WaitMessage(&msg, 0), WaitResult::kMessage);
    EXPECT_EQ(msg.wparam, 9u);
    EXPECT_EQ(WaitMessage(&msg, 0), WaitResult::kQuit);
    EXPECT_EQ(msg.id, kQuitMessage);
    EXPECT_EQ(msg.wparam, 3u);
    EXPECT_EQ(WaitMessage(&msg, 0), WaitResult::kTimeout);
}

// A blocked wait sleeps in the kernel: a quarter second costs almost no CPU.
TEST(MessageQueueTest, WaitTimesOutWithoutSpinning) {
    DrainQueue();
    rusage before;
    getrusage(RUSAGE_THREAD, &before);
    const auto start = std::chrono::steady_clock::now();
    Message msg;
    EXPECT_EQ(WaitMessage(&msg, 250), WaitResult::kTimeout);
    const auto waited = std::chrono::steady_clock::now() - start;
    rusage after;
    getrusage(RUSAGE_THREAD, &after);
    const long cpuUs = (after.ru_utime.tv_sec - before.ru_utime.tv_sec) * 1000000L +
                       (after.ru_utime.tv_usec - before.ru_utime.tv_usec) +
                       (after.ru_stime.tv_sec - before.ru_stime.tv_sec) * 1000000L +
                       (after.ru_stime.tv_usec - before.ru_stime.tv_usec);
    EXPECT_GE(waited, std::chrono::milliseconds(240));
    EXPECT_LT(cpuUs, 50000);
}

TEST(MessageQueueTest, PostThreadMessageWakesTheWaitingThread) {
    std::atomic<ThreadId> waiter{0};
    Message got;
    WaitResult result = WaitResult::kFailed;
    std::thread thread([&] {
        waiter = CurrentThreadId();
        result = WaitMessage(&got, -1);
    });
    while (waiter.load() == 0) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(PostThreadMessage(waiter.load(), kUserMessage + 2, 77, 0));
    thread.join();
    EXPECT_EQ(result, WaitResult::kMessage);
    EXPECT_EQ(got.id, kUserMessage + 2);
    EXPECT_EQ(got.wparam, 77u);
    // The thread has ended, and its queue with it.
    EXPECT_FALSE(PostThreadMessage(waiter.load(), kUserMessage, 0, 0));
    EXPECT_NE(waiter.load(), CurrentThreadId());
}

TEST(MessageQueueTest, ManyPostersReachOneQueue) {
    DrainQueue();
    const ThreadId self = CurrentThreadId();
    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([self] {
            for (int i = 0; i < kEach; ++i) {
                PostThreadMessage(self, kUserMessage, static_cast<uintptr_t>(i), 0);
            }
        });
    }
    int count = 0;
    Message msg;
    while (count < kThreads * kEach && WaitMessage(&msg, 5000) == WaitResult::kMessage) {
        ++count;
    }
    for (std::thread& poster : posters) {
        poster.join();
    }
    EXPECT_EQ(count, kThreads * kEach);
}

struct Nesting {
    int depth = 0;
    int maxDepth = 0;
    int runs = 0;
    static void Handle(const Message& msg, void* context) {
        auto* self = static_cast<Nesting*>(context);
        ++self->runs;
        ++self->depth;
        self->maxDepth = std::max(self->maxDepth, self->depth);
        if (msg.wparam > 0) {
            PostMessage(kUserMessage, msg.wparam - 1, 0);
            Message inner;
            while (PeekMessage(&inner)) {
                DispatchMessage(inner);
            }
        }
        --self->depth;
    }
};

TEST(MessageQueueTest, HandlersPumpTheSameQueue) {
    DrainQueue();
    Nesting nesting;
    SetMessageHandler(kUserMessage, &Nesting::Handle, &nesting);
    PostMessage(kUserMessage, 5, 0);
    Message msg;
    ASSERT_EQ(WaitMessage(&msg, 1000), WaitResult::kMessage);
    DispatchMessage(msg);
    SetMessageHandler(kUserMessage, nullptr, nullptr);
    EXPECT_EQ(nesting.runs, 6);
    EXPECT_EQ(nesting.maxDepth, 6);
}

TEST(MessageQueueTest, NotificationOfAnUnknownSocketIsDropped) {
    DrainQueue();
    PostMessage(kSocketNotifyMessage, 0x12345678, 1);
    Message msg;
    ASSERT_TRUE(PeekMessage(&msg));
    DispatchMessage(msg);
    EXPECT_FALSE(PeekMessage(&msg));
}

}  // namespace
}  // namespace platform
