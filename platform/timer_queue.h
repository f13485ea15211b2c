// Timer queues: periodic callbacks on a worker thread of the queue.
// A Win32 backend maps these onto CreateTimerQueue, CreateTimerQueueTimer and
// DeleteTimerQueueEx.
#pragma once

#include <cstdint>

#include "platform/platform_export.h"

namespace platform {

// The platform's error number for a deletion that returned while a callback
// was still running.
inline constexpr int kErrorIoPending = 997;

struct TimerQueue;
struct Timer;

// Called on the queue's worker thread; fired is true for a timer expiry.
using TimerCallback = void (*)(void* context, bool fired);

// Creates a timer queue. Null on failure, with the cause in LastPlatformError().
PLATFORM_API TimerQueue* CreateTimerQueue();

// Creates a timer in queue that calls callback(context, true) first after
// dueMs milliseconds and then every periodMs milliseconds (0: once). Returns
// null on failure, with the cause in LastPlatformError().
PLATFORM_API Timer* CreateTimerQueueTimer(TimerQueue* queue, TimerCallback callback, void* context,
                                          uint32_t dueMs, uint32_t periodMs);

// Deletes the queue and all its timers without waiting for a callback that is
// running: no callback starts after this returns, and a running one finishes
// on its own (the queue's resources are released when it has). Returns true
// when nothing was running; false with LastPlatformError() kErrorIoPending
// when a callback was still running (the deletion has still happened), or
// false with another error when queue is invalid.
PLATFORM_API bool DeleteTimerQueue(TimerQueue* queue);

// The calling thread's last error number of the non-socket platform calls
// (timer queues, shell execute, files), like GetLastError.
PLATFORM_API int LastPlatformError();
PLATFORM_API void SetLastPlatformError(int code);

}  // namespace platform
