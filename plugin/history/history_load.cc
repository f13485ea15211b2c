#include "plugin/history/history_load.h"

#include <cmath>
#include <memory>
#include <string>

#include "platform/sync.h"
#include "platform/text.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/row_gate.h"
#include "plugin/history/history_parser.h"
#include "plugin/history/history_request.h"
#include "plugin/history/history_thread.h"

namespace orvella {

namespace {

constexpr float kMinute = 1.0f;
constexpr float kDay = 1440.0f;

// What one request of a chart load asks for.
enum class CPart { kOwn, kMinuteBars, kTicks };

// What one request brought: the bar it kept back, and how many lines became
// rows.
struct CPartResult {
    bool hasKeptBar = false;
    CHistoryBar keptBar;
    int64_t lines = 0;
};

CPartResult RunPart(const CHistoryRequestArgs& request, CPart part, double startDate,
                    bool keepLastBar) {
    auto completionEvent = std::make_unique<platform::CEvent>(false, false);
    auto thread = std::make_unique<CHistoryThread>(completionEvent.get());
    CHistoryData& data = thread->m_data;
    data.m_bGapTrades = request.gapTrades || part == CPart::kTicks;
    data.m_bMinuteBars = part == CPart::kMinuteBars;
    data.m_bKeepLastBar = keepLastBar;
    data.m_bLastBarPart = part != CPart::kOwn;
    thread->Start();
    try {
        RunHistoryRequest(*completionEvent, *thread, request.symbol, request.description,
                          request.category, startDate, request.interval, request.columnNames);
    } catch (...) {
        // The worker must not be left waiting for an event nobody will set.
        completionEvent->Set();
        thread->Join();
        throw;
    }
    thread->Join();
    const CPartResult result{data.m_bHasKeptBar, data.m_keptBar, data.m_nDataLines};
    // The thread object (with its request state and socket) goes before the
    // event it points to.
    thread.reset();
    completionEvent.reset();
    return result;
}

}  // namespace

void LoadHistory(const CHistoryRequestArgs& request) {
    const std::string symbol = platform::NarrowText(request.symbol);
    const float series = HistorySeriesKey(request.interval, true);
    // The load's own rows are never judged as held live lines. A gap fill
    // judges the held lines afresh.
    if (request.gapTrades) {
        RowGate().EndLoadPasses();
    } else {
        RowGate().EndLoadPass(symbol, series);
    }
    // A chart the user asks for gets its whole history: a gap fill the series
    // still waited for is not needed any more.
    if (!request.gapTrades) {
        RowGate().SetWaiting(symbol, series, false);
    }
    const bool streaming = !request.gapTrades && Globals().streamingEnabled != 0;
    // The watch went out before the history request, so the live trades held
    // meanwhile are in the history too. A bar's volume cannot tell which
    // they are, trades can: a streaming intraday or daily chart takes its
    // last bar from the trades since that bar's start (a bar of several whole
    // minutes from its minutes first, then the last minute's trades), and the
    // held trades are told from those by their content.
    const bool lastBarFromTrades = streaming && request.interval > 0.0f && request.interval <= kDay;
    const CPartResult own = RunPart(request, CPart::kOwn, request.startDate, lastBarFromTrades);
    if (!streaming) {
        return;
    }
    bool judgeHeldTrades = request.interval == 0.0f;
    if (own.hasKeptBar) {
        CHistoryBar kept = own.keptBar;
        bool charted = true;
        // Minutes make up a bar only when it is whole minutes long.
        if (request.interval > kMinute && std::floor(request.interval) == request.interval) {
            const CPartResult minutes = RunPart(request, CPart::kMinuteBars, kept.date, true);
            charted = minutes.lines > 0;
            if (minutes.hasKeptBar) {
                kept = minutes.keptBar;
            }
        }
        charted = charted && RunPart(request, CPart::kTicks, kept.date, false).lines > 0;
        if (!charted) {
            // Without its trades the bar is charted as the history had it.
            WriteStreamingBar(symbol.c_str(), series, kept);
        }
        judgeHeldTrades = charted;
    }
    if (judgeHeldTrades) {
        RowGate().StartLoadPass(symbol, series);
    } else if (request.interval != 0.0f) {
        // The series ends in its history's last bar: a later gap fill must not
        // chart that bar's trades again.
        RowGate().NoteBarHistory(symbol, series);
    }
}

}  // namespace orvella
