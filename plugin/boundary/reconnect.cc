#include "plugin/boundary/reconnect.h"

#include "platform/text.h"
#include "platform/timer_queue.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/liveness_timer.h"
#include "plugin/boundary/plugin_parts.h"
#include "plugin/boundary/row_gate.h"
#include "plugin/diagnostics/log.h"

namespace orvella {

namespace {

bool g_ticking = false;
// A tick is running: the gap fill's wait dispatches messages, further ticks
// among them, which must not start a second one inside it.
bool g_inTick = false;

void DispatchTick(const platform::Message&, void*) {
    OnReconnectTick();
}

void FillGaps(CGlobalState& state) {
    CRowGate& gate = RowGate();
    WriteLogLine(L"Beginning to fill the gap of the streaming charts");
    state.historyInProgress = 1;
    gate.SetFillingGap(true);
    for (const auto& [symbol, interval] : PluginParts().WatchedSeries()) {
        double last = 0.0;
        // A series that never had a row has no gap to fill.
        if (!gate.LastRowDate(platform::NarrowText(symbol), -interval, &last) || last <= 0.0) {
            continue;
        }
        CHistoryRequestArgs request;
        request.symbol = symbol;
        request.startDate = last;
        request.interval = interval;
        PluginParts().LoadHistory(request);
    }
    state.historyInProgress = 0;
    // Live lines held meanwhile pass the same gate: none older than the
    // history just handed on.
    PluginParts().ReleaseHeldLines();
    gate.SetFillingGap(false);
    LogFormat(L"Ending the gap fill; %ld rows already charted were left out",
              gate.DroppedRows());
}

}  // namespace

bool EnsureReconnectTicks() {
    if (g_ticking) {
        return true;
    }
    platform::SetMessageHandler(kReconnectTickMessage, &DispatchTick, nullptr);
    g_ticking = StartThreadTicks(platform::CurrentThreadId(), kReconnectTickMessage,
                                 kReconnectTickMs);
    if (!g_ticking) {
        platform::SetMessageHandler(kReconnectTickMessage, nullptr, nullptr);
    }
    return g_ticking;
}

void StopReconnectTicks() {
    if (g_ticking) {
        platform::SetMessageHandler(kReconnectTickMessage, nullptr, nullptr);
        g_ticking = false;
    }
}

void OnReconnectTick() {
    CGlobalState& state = Globals();
    if (g_inTick || state.historyInProgress.load() != 0 || state.reconnectEnabled == 0) {
        return;
    }
    g_inTick = true;
    if (PluginParts().ReconnectStep()) {
        FillGaps(state);
    }
    g_inTick = false;
}

}  // namespace orvella
