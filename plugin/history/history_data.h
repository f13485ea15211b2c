// The state of one history request: the request as the host gave it, the
// lookup connection and the reply parser's working values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/sync.h"
#include "plugin/boundary/host_date.h"
#include "plugin/history/history_fields.h"
#include "plugin/history/lookup_socket.h"

namespace orvella {

class CHistoryThread;

// A bar line's values: its date (day count) and prices and volume.
struct CHistoryBar {
    double date = 0.0;
    double open = 0.0;
    double high = 0.0;
    double low = 0.0;
    double close = 0.0;
    double volume = 0.0;
};

class CHistoryData {
  public:
    CHistoryData() = default;
    CHistoryData(const CHistoryData&) = delete;
    CHistoryData& operator=(const CHistoryData&) = delete;

    CLookupCSocket<CHistoryData*> m_socket;
    // ConnectLookup succeeded.
    bool m_bConnected = false;
    // A gap fill: ticks from the start, as rows of the series' own layout.
    bool m_bGapTrades = false;
    // One-minute bars from the start, as rows of the series' own layout.
    bool m_bMinuteBars = false;
    // The reply's last bar is kept back (m_keptBar) instead of charted: the
    // load takes it from finer history.
    bool m_bKeepLastBar = false;
    bool m_bHasKeptBar = false;
    CHistoryBar m_keptBar;
    // A later request of a chart load, for its last bar: it reports no
    // progress, and lines dated before its start (a feed that sent more than
    // was asked) are no part of that bar and are skipped.
    bool m_bLastBarPart = false;
    // Reply lines that became rows.
    int64_t m_nDataLines = 0;
    // Received text after the last line feed (never holds a line feed, at
    // most kMaxFeedLineChars characters).
    std::wstring m_strPending;
    // Not owned: the request's completion event and the thread object that
    // owns this request.
    platform::CEvent* m_pCompletionEvent = nullptr;
    CHistoryThread* m_pThread = nullptr;
    std::wstring m_strRequestType;
    std::wstring m_strSymbol;
    std::wstring m_strDescription;
    std::wstring m_strCategory;
    double m_dStartDate = 0.0;
    float m_fInterval = 0.0f;
    std::wstring m_strColumnNames;
    // The last quote values sent as tick-type-4 and tick-type-2 rows.
    double m_dType4Price = -1.0;
    double m_dType4Size = -1.0;
    double m_dType2Price = -1.0;
    double m_dType2Size = -1.0;
    // Days from the start date to the request time, plus one.
    uint16_t m_nTotalDays = 0;
    HostDate m_dtRequestTime;
    // The latest data day that progress was reported for.
    HostDate m_dtLastDay;

    // The date of the last bar line of this reply, kept across chunks so
    // that an end line arriving in a later chunk still compares with it.
    double m_dLastBarDate = 0.0;
    // The day of the data that progress was last worked out for (none at
    // first); a line of the same day cannot advance it.
    struct CProgressDay {
        int year = 0, month = 0, day = 0;
    };
    CProgressDay m_progressDay;
    // The day of the last tick line's date field, read once per day.
    CLineDay m_lineDay;
    // m_strSymbol as 8-bit text for the host calls.
    std::string m_strSymbolBytes;
    // FinishHistory ran; the load reports 100 percent only once.
    bool m_bFinished = false;
    // Reply lines that could not be read and were skipped (only the first
    // of a load is logged; FinishHistory logs the count).
    int32_t m_nMalformedLines = 0;
    // A line grew past kMaxFeedLineChars: its text was dropped and the
    // parser skips to its line feed.
    bool m_bSkippingLongLine = false;
};

// Hands one received chunk to the reply parser (history_parser.h).
void ProcessHistoryText(CHistoryData& data, std::wstring_view chunk);

extern template class CLookupCSocket<CHistoryData*>;
extern template int ReadAvailable(CLookupCSocket<CHistoryData*>& socket);

}  // namespace orvella
