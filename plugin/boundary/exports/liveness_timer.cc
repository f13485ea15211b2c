#include "plugin/boundary/exports/liveness_timer.h"

#include <atomic>

#include "platform/message_queue.h"
#include "platform/sync.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/plugin_parts.h"
#include "plugin/diagnostics/error_report.h"
#include "plugin/diagnostics/log.h"

namespace orvella {

namespace {

// How long unload waits for a liveness callback that is still running.
constexpr int kCallbackWaitMs = 5000;

std::atomic<int> g_callbacksRunning{0};

void LivenessTimerTrampoline(void* context, bool fired) {
    g_callbacksRunning.fetch_add(1);
    PluginParts().LivenessTimerProc(context, fired);
    g_callbacksRunning.fetch_sub(1);
}

struct CTickTarget {
    std::atomic<uint64_t> thread{0};
    std::atomic<uint32_t> message{0};
};
CTickTarget g_tickTarget;

void TickTrampoline(void* context, bool) {
    g_callbacksRunning.fetch_add(1);
    const auto* target = static_cast<const CTickTarget*>(context);
    platform::PostThreadMessage(target->thread.load(), target->message.load(), 0, 0);
    g_callbacksRunning.fetch_sub(1);
}

bool CreateQueueAndTimer(CGlobalState& state) {
    WriteLogLine(L"Before Creating a Timer Queue");
    WriteLogLine(L"Before Create Queue");
    platform::TimerQueue* queue = TimerQueueOps().createQueue();
    if (queue == nullptr) {
        ReportError(
            FormatText(L"The Create for the Queue failed (%d)", platform::LastPlatformError()));
        return false;
    }
    state.timerQueue = queue;
    WriteLogLine(L"After Create Queue");
    WriteLogLine(L"Before Create Timer");
    platform::Timer* timer =
        TimerQueueOps().createTimer(queue, &LivenessTimerTrampoline, &state.livenessTimerContext,
                                    kLivenessPeriodMs, kLivenessPeriodMs);
    if (timer == nullptr) {
        ReportError(
            FormatText(L"The create for the Timer failed (%d)", platform::LastPlatformError()));
        return false;
    }
    state.livenessTimer = timer;
    WriteLogLine(L"After Create Timer");
    WriteLogLine(L"After Creating a Timer Queue");
    return true;
}

}  // namespace

CTimerQueueOps& TimerQueueOps() {
    static CTimerQueueOps ops{&platform::CreateTimerQueue, &platform::CreateTimerQueueTimer,
                              &platform::DeleteTimerQueue};
    return ops;
}

bool EnsureLivenessTimer() {
    CGlobalState& state = Globals();
    if (state.timerQueue != nullptr || state.livenessTimer != nullptr) {
        return true;
    }
    try {
        return CreateQueueAndTimer(state);
    } catch (...) {
        ReportError(L"Caught unknown exection during timer queue creation");
        return false;
    }
}

bool StartThreadTicks(uint64_t thread, uint32_t message, uint32_t periodMs) {
    auto* queue = static_cast<platform::TimerQueue*>(Globals().timerQueue);
    if (queue == nullptr) {
        return false;
    }
    g_tickTarget.thread.store(thread);
    g_tickTarget.message.store(message);
    return TimerQueueOps().createTimer(queue, &TickTrampoline, &g_tickTarget, periodMs, periodMs) !=
           nullptr;
}

void DeleteLivenessTimerQueue() {
    CGlobalState& state = Globals();
    if (state.timerQueue == nullptr) {
        return;
    }
    WriteLogLine(L"Before delete of the Timer Queue");
    auto* queue = static_cast<platform::TimerQueue*>(state.timerQueue);
    if (!TimerQueueOps().deleteQueue(queue)) {
        const int error = platform::LastPlatformError();
        if (error != platform::kErrorIoPending) {
            LogFormat(L"Timer Queue delete failed (%d)", error);
        }
    }
    state.timerQueue = nullptr;
    state.livenessTimer = nullptr;
    for (int waited = 0; g_callbacksRunning.load() > 0 && waited < kCallbackWaitMs; ++waited) {
        platform::Sleep(1);
    }
    WriteLogLine(L"After the delete of the Timer Queue");
}

}  // namespace orvella
