#include "plugin/boundary/exports/reconnect.h"

#include "platform/text.h"
#include "platform/timer_queue.h"
#include "plugin/boundary/exports/liveness_timer.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/host_date.h"
#include "plugin/boundary/plugin_parts.h"
#include "plugin/boundary/row_gate.h"
#include "plugin/diagnostics/error_report.h"
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

// Series whose last fill failed: tried again on the next tick.
bool g_fillPending = false;

std::wstring DateText(double date) {
    return FormatDate(HostDate{date, kDateValid}, L"%Y-%m-%d %H:%M:%S");
}

void FillGaps(CGlobalState& state) {
    CRowGate& gate = RowGate();
    CBackgroundErrors background;
    WriteLogLine(L"Beginning to fill the gap of the streaming charts");
    state.historyInProgress = 1;
    gate.SetFillingGap(true);
    const auto watched = PluginParts().WatchedSeries();
    // Every series waits for its fill: live rows that reach it before then
    // are in the fill's history.
    for (const auto& [symbol, interval] : watched) {
        double last = 0.0;
        const std::string host = platform::NarrowText(symbol);
        if (gate.LastRowDate(host, -interval, &last) && last > 0.0) {
            gate.SetWaiting(host, -interval, true);
        }
    }
    bool failed = false;
    for (const auto& [symbol, interval] : watched) {
        const std::string host = platform::NarrowText(symbol);
        double last = 0.0;
        // A series that never had a row has no gap to fill.
        if (!gate.Waiting(host, -interval) || !gate.LastRowDate(host, -interval, &last)) {
            continue;
        }
        CHistoryRequestArgs request;
        request.symbol = symbol;
        request.startDate = last;
        request.interval = interval;
        request.gapTrades = true;
        gate.BeginSeriesFill(host, -interval);
        PluginParts().LoadHistory(request);
        if (background.TakeFailure()) {
            // The rows that came stay; the rest comes with the next attempt,
            // and the live rows meanwhile with it.
            gate.AbandonSeriesFill();
            failed = true;
            continue;
        }
        const CRowGate::CFillCount fill = gate.EndSeriesFill();
        LogFormat(
            L"Filled the gap of %ls, interval %g: %ls to %ls, %ld rows handed over, %ld "
            L"already charted left out",
            symbol.c_str(), static_cast<double>(interval),
            fill.handed == 0 ? L"-" : DateText(fill.first).c_str(),
            fill.handed == 0 ? L"-" : DateText(fill.last).c_str(), fill.handed, fill.leftOut);
    }
    gate.EndSeriesFill();
    state.historyInProgress = 0;
    // Live lines held meanwhile pass the same gate, judged against what each
    // series has after its history; nothing stays held in the gate after
    // them, not even when the replay fails.
    gate.StartHeldPass();
    try {
        PluginParts().ReleaseHeldLines();
    } catch (...) {
        gate.SetFillingGap(false);
        throw;
    }
    gate.EndPass();
    gate.SetFillingGap(false);
    LogFormat(L"Ending the gap fill; %ld rows already charted were left out", gate.DroppedRows());
    if (!failed) {
        background.NoteSuccess();
    } else if (!g_fillPending) {
        WriteLogLine(L"The gap fill failed; it is tried again on the next reconnect tick");
    }
    g_fillPending = failed;
}

}  // namespace

bool EnsureReconnectTicks() {
    if (g_ticking) {
        return true;
    }
    platform::SetMessageHandler(kReconnectTickMessage, &DispatchTick, nullptr);
    g_ticking =
        StartThreadTicks(platform::CurrentThreadId(), kReconnectTickMessage, kReconnectTickMs);
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
    if (PluginParts().ReconnectStep() || g_fillPending) {
        FillGaps(state);
    }
    g_inTick = false;
}

}  // namespace orvella
