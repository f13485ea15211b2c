#include "plugin/history/history_load.h"

#include <memory>

#include "platform/sync.h"
#include "platform/text.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/row_gate.h"
#include "plugin/history/history_parser.h"
#include "plugin/history/history_request.h"
#include "plugin/history/history_thread.h"

namespace orvella {

void LoadHistory(const CHistoryRequestArgs& request) {
    // The load's own rows are never judged as held live lines.
    RowGate().EndLoadPasses();
    // A chart the user asks for gets its whole history: a gap fill the series
    // still waited for is not needed any more.
    if (!request.gapTrades) {
        RowGate().SetWaiting(platform::NarrowText(request.symbol),
                             HistorySeriesKey(request.interval, true), false);
    }
    auto completionEvent = std::make_unique<platform::CEvent>(false, false);
    auto thread = std::make_unique<CHistoryThread>(completionEvent.get());
    thread->m_data.m_bGapTrades = request.gapTrades;
    thread->Start();
    try {
        RunHistoryRequest(*completionEvent, *thread, request.symbol, request.description,
                          request.category, request.startDate, request.interval,
                          request.columnNames);
    } catch (...) {
        // The worker must not be left waiting for an event nobody will set.
        completionEvent->Set();
        thread->Join();
        throw;
    }
    thread->Join();
    // A streaming bar series now ends in its history's last bar: a later gap
    // fill must not chart that bar's trades again. A streaming tick series'
    // history holds the trades of the live lines held since its watch, which
    // are told apart by their content.
    if (!request.gapTrades && Globals().streamingEnabled != 0) {
        const std::string symbol = platform::NarrowText(request.symbol);
        const float series = HistorySeriesKey(request.interval, true);
        if (request.interval != 0.0f) {
            RowGate().NoteBarHistory(symbol, series);
        } else {
            RowGate().StartLoadPass(symbol, series);
        }
    }
    // The thread object (with its request state and socket) goes before the
    // event it points to.
    thread.reset();
    completionEvent.reset();
}

}  // namespace orvella
