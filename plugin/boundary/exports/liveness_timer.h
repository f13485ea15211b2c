// The timer queue and the level-one liveness timer that the first streaming
// request creates and that live until unload.
#pragma once

#include <cstdint>

#include "platform/timer_queue.h"

namespace orvella {

// Due time and period of the liveness timer.
inline constexpr uint32_t kLivenessPeriodMs = 10000;

// Creates the timer queue and the liveness timer when neither exists yet,
// logging each step. False after a failure has been logged and shown; a
// queue whose timer failed stays, so later calls create nothing.
bool EnsureLivenessTimer();

// A second, periodic timer on the same queue that posts message to thread
// every periodMs (the reconnect's ticks). False without a queue or when the
// timer cannot be made. Deleted with the queue.
bool StartThreadTicks(uint64_t thread, uint32_t message, uint32_t periodMs);

// Deletes the timer queue with its timer (unload). A callback still running
// is waited for, briefly, so that it does not outlive the plug-in's code.
void DeleteLivenessTimerQueue();

// The timer operations in use: the platform's, unless a test replaced them.
struct CTimerQueueOps {
    platform::TimerQueue* (*createQueue)();
    platform::Timer* (*createTimer)(platform::TimerQueue*, platform::TimerCallback, void*, uint32_t,
                                    uint32_t);
    bool (*deleteQueue)(platform::TimerQueue*);
};
CTimerQueueOps& TimerQueueOps();

}  // namespace orvella
