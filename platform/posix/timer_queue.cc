#include "platform/timer_queue.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <vector>

namespace platform {

namespace {

constexpr int kErrorInvalidHandle = 6;
constexpr int kErrorNotEnoughMemory = 8;
constexpr int kErrorInvalidParameter = 87;

using Clock = std::chrono::steady_clock;

thread_local int t_lastPlatformError = 0;

}  // namespace

struct Timer {
    TimerCallback callback;
    void* context;
    Clock::time_point due;
    std::chrono::milliseconds period;
    bool finished = false;  // a one-shot timer that has fired
};

// The worker thread runs the callbacks one at a time. Once the queue is
// deleted while a callback runs, the worker owns the queue and frees it when
// that callback has returned.
struct TimerQueue {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::unique_ptr<Timer>> timers;
    bool deleted = false;
    bool callbackRunning = false;
    bool workerOwnsQueue = false;
    std::thread worker;

    void Run();
    Timer* NextTimer();
};

namespace {

// The queues that may be used, so that a stale or foreign pointer is
// refused instead of followed.
struct LiveQueues {
    std::mutex lock;
    std::unordered_set<TimerQueue*> queues;
};

LiveQueues& Live() {
    static LiveQueues* live = new LiveQueues;
    return *live;
}

bool IsLive(TimerQueue* queue) {
    LiveQueues& live = Live();
    std::lock_guard<std::mutex> guard(live.lock);
    return live.queues.count(queue) != 0;
}

bool Retire(TimerQueue* queue) {
    LiveQueues& live = Live();
    std::lock_guard<std::mutex> guard(live.lock);
    return live.queues.erase(queue) != 0;
}

}  // namespace

Timer* TimerQueue::NextTimer() {
    Timer* next = nullptr;
    for (const auto& timer : timers) {
        if (!timer->finished && (next == nullptr || timer->due < next->due)) {
            next = timer.get();
        }
    }
    return next;
}

void TimerQueue::Run() {
    std::unique_lock<std::mutex> guard(lock);
    while (!deleted) {
        Timer* timer = NextTimer();
        if (timer == nullptr) {
            changed.wait(guard);
            continue;
        }
        const Clock::time_point now = Clock::now();
        if (timer->due > now) {
            changed.wait_until(guard, timer->due);
            continue;
        }
        if (timer->period.count() == 0) {
            timer->finished = true;
        } else {
            // A late callback does not make the following ones bunch up.
            timer->due = std::max(timer->due + timer->period, now);
        }
        callbackRunning = true;
        guard.unlock();
        timer->callback(timer->context, true);
        guard.lock();
        callbackRunning = false;
    }
    const bool ownsQueue = workerOwnsQueue;
    guard.unlock();
    if (ownsQueue) {
        delete this;
    }
}

TimerQueue* CreateTimerQueue() {
    auto queue = std::make_unique<TimerQueue>();
    try {
        queue->worker = std::thread([q = queue.get()] { q->Run(); });
    } catch (const std::system_error&) {
        SetLastPlatformError(kErrorNotEnoughMemory);
        return nullptr;
    }
    LiveQueues& live = Live();
    std::lock_guard<std::mutex> guard(live.lock);
    live.queues.insert(queue.get());
    return queue.release();
}

Timer* CreateTimerQueueTimer(TimerQueue* queue, TimerCallback callback, void* context,
                             uint32_t dueMs, uint32_t periodMs) {
    if (queue == nullptr || callback == nullptr || !IsLive(queue)) {
        SetLastPlatformError(kErrorInvalidParameter);
        return nullptr;
    }
    auto timer = std::make_unique<Timer>();
    timer->callback = callback;
    timer->context = context;
    timer->due = Clock::now() + std::chrono::milliseconds(dueMs);
    timer->period = std::chrono::milliseconds(periodMs);
    Timer* handle = timer.get();
    std::lock_guard<std::mutex> guard(queue->lock);
    queue->timers.push_back(std::move(timer));
    queue->changed.notify_all();
    return handle;
}

bool DeleteTimerQueue(TimerQueue* queue) {
    if (queue == nullptr || !Retire(queue)) {
        SetLastPlatformError(kErrorInvalidHandle);
        return false;
    }
    std::unique_lock<std::mutex> guard(queue->lock);
    queue->deleted = true;
    queue->changed.notify_all();
    if (queue->callbackRunning) {
        // Called from a callback or while one runs elsewhere: the worker
        // frees the queue when the callback returns. The queue must not be
        // touched after the lock is released.
        queue->workerOwnsQueue = true;
        queue->worker.detach();
        guard.unlock();
        SetLastPlatformError(kErrorIoPending);
        return false;
    }
    guard.unlock();
    // The worker is not in a callback and sees the deletion at once.
    queue->worker.join();
    delete queue;
    return true;
}

int LastPlatformError() {
    return t_lastPlatformError;
}

void SetLastPlatformError(int code) {
    t_lastPlatformError = code;
}

}  // namespace platform
