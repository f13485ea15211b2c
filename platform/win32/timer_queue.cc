// Timer queues of the system: the callbacks run on its thread pool.
#include "platform/timer_queue.h"

#include <atomic>
#include <new>

#include "platform/win32/win32_api.h"

namespace platform {

struct TimerQueue;

namespace {

struct QueueState;

}  // namespace

// The system's callback type differs from ours; each timer keeps the pair.
struct Timer {
    TimerCallback callback;
    void* context;
    QueueState* queue;
    HANDLE handle = nullptr;
    Timer* next = nullptr;
};

namespace {

// A queue: the system's handle and our timers, freed with it.
struct QueueState {
    HANDLE handle;
    SRWLOCK lock = SRWLOCK_INIT;
    Timer* timers = nullptr;
    // Set by the deletion: an expiry the system had already handed to its
    // thread pool does not start a callback after the deletion returned.
    std::atomic<bool> deleted{false};
};

void CALLBACK RunTimer(void* parameter, BOOLEAN fired) {
    auto* timer = static_cast<Timer*>(parameter);
    if (!timer->queue->deleted.load()) {
        timer->callback(timer->context, fired != FALSE);
    }
}

// Frees the timers once the system no longer calls them.
void ReleaseQueue(QueueState* state) {
    for (Timer* timer = state->timers; timer != nullptr;) {
        Timer* next = timer->next;
        delete timer;
        timer = next;
    }
    delete state;
}

}  // namespace

TimerQueue* CreateTimerQueue() {
    HANDLE handle = ::CreateTimerQueue();
    if (handle == nullptr) {
        return nullptr;
    }
    auto* state = new (std::nothrow) QueueState{handle};
    if (state == nullptr) {
        DeleteTimerQueueEx(handle, nullptr);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return reinterpret_cast<TimerQueue*>(state);
}

Timer* CreateTimerQueueTimer(TimerQueue* queue, TimerCallback callback, void* context,
                             uint32_t dueMs, uint32_t periodMs) {
    if (queue == nullptr || callback == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* state = reinterpret_cast<QueueState*>(queue);
    auto* timer = new (std::nothrow) Timer{callback, context, state};
    if (timer == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // Listed before the system may call it, so the release finds it.
    AcquireSRWLockExclusive(&state->lock);
    timer->next = state->timers;
    state->timers = timer;
    ReleaseSRWLockExclusive(&state->lock);
    if (!::CreateTimerQueueTimer(&timer->handle, state->handle, RunTimer, timer, dueMs, periodMs,
                                 WT_EXECUTEDEFAULT)) {
        // Left in the list, freed with the queue.
        return nullptr;
    }
    return timer;
}

bool DeleteTimerQueue(TimerQueue* queue) {
    if (queue == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    auto* state = reinterpret_cast<QueueState*>(queue);
    // Without a completion event the system does not wait for a running
    // callback and reports ERROR_IO_PENDING. The timers are then left to that
    // callback (a few bytes, once per process); otherwise none runs again.
    state->deleted.store(true);
    if (DeleteTimerQueueEx(state->handle, nullptr)) {
        ReleaseQueue(state);
        return true;
    }
    return false;
}

int LastPlatformError() {
    return static_cast<int>(GetLastError());
}

void SetLastPlatformError(int code) {
    SetLastError(static_cast<DWORD>(code));
}

}  // namespace platform
