#include "plugin/history/history_parser.h"

#include <cmath>
#include <cwchar>
#include <initializer_list>
#include <string>

#include "platform/text.h"
#include "plugin/boundary/feed_text.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/host_feed.h"
#include "plugin/boundary/row_gate.h"
#include "plugin/diagnostics/log.h"
#include "plugin/history/history_fields.h"
#include "plugin/history/history_thread.h"
#include "plugin/history/history_wait.h"
#include "plugin/levelone/symbol_info.h"

namespace orvella {

namespace {

enum class Family { kNone, kTick, kIntervalBar, kDayBar };

Family FamilyOf(std::wstring_view type) {
    if (type == L"HTX" || type == L"HTD" || type == L"HTT") {
        return Family::kTick;
    }
    if (type == L"HIX" || type == L"HID" || type == L"HIT") {
        return Family::kIntervalBar;
    }
    if (type == L"HDX" || type == L"HWX" || type == L"HMX") {
        return Family::kDayBar;
    }
    return Family::kNone;
}

// mayHoldEndMessage is false when the text the line lies in was searched for
// the end message's '!' as a whole and holds none.
bool IsEndLine(std::wstring_view line, bool mayHoldEndMessage) {
    constexpr std::wstring_view kEndMessage = L"!ENDMSG!";
    return line[0] == L'E' || (line.size() > 1 && line[1] == L',') ||
           (mayHoldEndMessage && line.find(kEndMessage) != std::wstring_view::npos);
}

template <size_t N>
bool AllTrue(const bool (&flags)[N]) {
    for (const bool flag : flags) {
        if (!flag) {
            return false;
        }
    }
    return true;
}

std::wstring_view TrimBlanks(std::wstring_view text) {
    constexpr std::wstring_view kBlanks = L" \t\r\n\v\f";
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::wstring_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

class CRowWriter {
  public:
    CRowWriter(const char* symbol, float seriesKey)
        : m_host(HostFeed()), m_symbol(symbol), m_key(seriesKey) {}

    void Row(std::initializer_list<double> values) {
        int column = 1;
        for (const double value : values) {
            m_host.NSTSETVALUE(m_symbol, m_key, column++, value);
        }
        m_host.NSTCOMMITROW(m_symbol, m_key);
    }

    // The streaming layout: open, high and low without volume, then the
    // close with the bar's volume.
    void Bar(const CHistoryBar& bar) {
        Row({bar.date, bar.open, 0.0});
        Row({bar.date, bar.high, 0.0});
        Row({bar.date, bar.low, 0.0});
        Row({bar.date, bar.close, bar.volume});
    }

  private:
    CHostFeed& m_host;
    const char* m_symbol;
    float m_key;
};

// Counts a line that cannot be read; only the first of a load is logged.
void LogMalformedLine(CHistoryData& data, std::wstring_view line) {
    if (data.m_nMalformedLines++ == 0) {
        LogFormat(L"Skipping a history line that could not be read: %ls",
                  std::wstring(TrimBlanks(line)).c_str());
    }
}

void LogOverLongLine(CHistoryData& data) {
    if (data.m_nMalformedLines++ == 0) {
        LogFormat(L"Skipping a history line longer than %d characters",
                  static_cast<int>(kMaxFeedLineChars));
    }
}

void HandleEndLine(CHistoryData& data, Family family, std::wstring_view line) {
    if (line.size() > 1 && line[0] == L'E' && line[1] == L',') {
        const std::wstring_view trimmed = TrimBlanks(line);
        const std::wstring_view message =
            trimmed.size() > 4 ? trimmed.substr(2, trimmed.size() - 4) : std::wstring_view();
        LogFormat(L"History request %ls", std::wstring(message).c_str());
    } else if (family == Family::kDayBar) {
        double d = ContinuousDayValue(data.m_dtRequestTime.value) - data.m_dLastBarDate;
        if (d <= -HalfSecond) {
            d = 2.0 * std::floor(d) - d;
        }
        const int32_t today = TotalWholeDays(DaySpan{d, kDateValid}) == 0 ? 1 : 0;
        if (CSymbolInfo* info = FindWatchedSymbol(data.m_strSymbol)) {
            info->m_bTodayInHistory = today;
        }
    }
    FinishHistory(data);
    data.m_pThread->m_bDone = 1;
}

void ProgressStep(CHistoryData& data, const CDateFieldParts& parts) {
    if (data.m_bLastBarPart) {
        return;
    }
    // Most lines are of the day seen last: three numbers compared, no call.
    CHistoryData::CProgressDay& last = data.m_progressDay;
    if (parts.day == last.day && parts.month == last.month && parts.year == last.year) {
        return;
    }
    last = {parts.year, parts.month, parts.day};
    const HostDate dayDate = DateFromParts(parts.year, parts.month, parts.day, 0, 0, 1);
    if (!DateIsAfter(dayDate, data.m_dtLastDay)) {
        return;
    }
    data.m_dtLastDay = dayDate;
    if (const std::optional<int> percent =
            HistoryProgressPercent(data.m_nTotalDays, data.m_dtRequestTime, dayDate)) {
        HostFeed().UpdatePercent(*percent);
    }
}

// The line's date from its date field (with the time of day when withTime),
// once its numbers were read (numbersRead); a line without a real date or
// with a field that is no number is logged as malformed. parts gets the date
// field's parts for the progress step.
bool ReadLineDate(CHistoryData& data, std::wstring_view line, std::wstring_view date, bool withTime,
                  bool numbersRead, CDateFieldParts* parts, HostDate* when) {
    bool read = false;
    if (withTime) {
        read = data.m_lineDay.Read(date, parts, when);
    } else if (ReadDateFieldParts(date, false, parts)) {
        *when = DateFromParts(parts->year, parts->month, parts->day, 0, 0, 0);
        read = true;
    }
    if (read && numbersRead && when->status == kDateValid) {
        return true;
    }
    LogMalformedLine(data, line);
    return false;
}

// True when the line is an extended trade and the setting leaves such
// trades out.
bool LeftOut(const CTickFields& tick) {
    return tick.extended && Globals().extendedTradesEnabled == 0;
}

// Hands a tick line that was read over to the host series.
void WriteTick(CHistoryData& data, CRowWriter& rows, const CTickFields& tick,
               const CDateFieldParts& parts, const HostDate& when) {
    if (data.m_bLastBarPart && when.value < data.m_dStartDate) {
        return;
    }
    ++data.m_nDataLines;
    const CTradeVolumeNote note(tick.dayVolumeRead ? tick.dayVolume : 0.0);
    // A bar series' gap gets the trades as its live rows: time, price, size.
    if (data.m_bGapTrades && data.m_fInterval != 0.0f) {
        rows.Row({when.value, tick.price, tick.size});
        ProgressStep(data, parts);
        return;
    }
    if (tick.type4Price != data.m_dType4Price || tick.type4Size != data.m_dType4Size) {
        rows.Row({when.value, tick.type4Price, tick.type4Size, 4.0});
        data.m_dType4Price = tick.type4Price;
        data.m_dType4Size = tick.type4Size;
    }
    if (tick.type2Price != data.m_dType2Price || tick.type2Size != data.m_dType2Size) {
        rows.Row({when.value, tick.type2Price, tick.type2Size, 2.0});
        data.m_dType2Price = tick.type2Price;
        data.m_dType2Size = tick.type2Size;
    }
    rows.Row({when.value, tick.price, tick.size, 0.0});
    ProgressStep(data, parts);
}

// Each line is read once, field by field; all its fields are read before
// the checks, which then go in this order: enough fields and a date field
// long enough, the extended-trade filter, a real date and numbers. Every
// value that can reach the host must be a finite number; the day's volume
// only tells trades apart and may be missing.
void HandleTickLine(CHistoryData& data, CRowWriter& rows, std::wstring_view line) {
    CTickFields tick;
    if (!CutTickLine(line, &tick)) {
        LogMalformedLine(data, line);
        return;
    }
    if (LeftOut(tick)) {
        return;
    }
    CDateFieldParts parts;
    HostDate when;
    if (ReadLineDate(data, line, tick.date, true, tick.numbersRead, &parts, &when)) {
        WriteTick(data, rows, tick, parts, when);
    }
}

// Read as tick lines are (HandleTickLine).
void HandleBarLine(CHistoryData& data, CRowWriter& rows, std::wstring_view line, Family family) {
    // F1 high, F2 low, F3 open, F4 close, then the volume: F6 for interval
    // bars, F5 for day bars. F6 may be missing (interval bars then have no
    // volume, which makes the line unreadable).
    const bool dayBar = family == Family::kDayBar;
    CFieldReader fields(line);
    std::wstring_view date;
    double high = 0, low = 0, open = 0, close = 0, volume = 0;
    bool read[5] = {};
    bool complete = NextDateField(fields, &date) && fields.NextNumber(&high, &read[0]) &&
                    fields.NextNumber(&low, &read[1]) && fields.NextNumber(&open, &read[2]) &&
                    fields.NextNumber(&close, &read[3]);
    if (dayBar) {
        complete = complete && fields.NextNumber(&volume, &read[4]);
    } else if (complete && fields.Skip()) {
        fields.NextNumber(&volume, &read[4]);
    } else {
        complete = false;
    }
    if (!complete || date.size() < kShortestDateField) {
        LogMalformedLine(data, line);
        return;
    }
    CDateFieldParts parts;
    HostDate when;
    if (!ReadLineDate(data, line, date, !dayBar, AllTrue(read), &parts, &when)) {
        return;
    }
    if (data.m_bLastBarPart && when.value < data.m_dStartDate) {
        return;
    }
    data.m_dLastBarDate = when.value;
    ++data.m_nDataLines;
    const CHistoryBar bar{when.value, open, high, low, close, volume};
    if (data.m_bKeepLastBar) {
        // Only the reply's end tells which bar is the last: each bar waits
        // for the next line.
        if (data.m_bHasKeptBar) {
            rows.Bar(data.m_keptBar);
        }
        data.m_keptBar = bar;
        data.m_bHasKeptBar = true;
    } else if (Globals().streamingEnabled != 0) {
        rows.Bar(bar);
    } else {
        rows.Row({when.value, open, high, low, close, volume});
    }
    ProgressStep(data, parts);
}

// Handles one line, its line feed included. False when it ended the reply.
// mayHoldRare is false when the text the line lies in was searched as a whole
// for a zero byte and for the end message's '!' and holds neither.
bool HandleLine(CHistoryData& data, Family family, CRowWriter& rows, std::wstring_view line,
                bool mayHoldRare) {
    if (line.size() > kMaxFeedLineChars + 1) {
        LogOverLongLine(data);
        return true;
    }
    if (mayHoldRare && line.find(L'\0') != std::wstring_view::npos) {
        LogMalformedLine(data, line);
        return true;
    }
    if (IsEndLine(line, mayHoldRare)) {
        HandleEndLine(data, family, line);
        return false;
    }
    switch (family) {
        case Family::kTick:
            HandleTickLine(data, rows, line);
            break;
        case Family::kIntervalBar:
        case Family::kDayBar:
            HandleBarLine(data, rows, line, family);
            break;
        case Family::kNone:
            break;
    }
    return true;
}

// Keeps the start of an unfinished line for the next chunk; one that has
// grown too long is counted once and skipped up to its line feed instead.
void KeepPending(CHistoryData& data, std::wstring_view rest) {
    if (data.m_bSkippingLongLine) {
        return;
    }
    if (data.m_strPending.size() + rest.size() > kMaxFeedLineChars) {
        data.m_strPending.clear();
        data.m_bSkippingLongLine = true;
        LogOverLongLine(data);
        return;
    }
    data.m_strPending.append(rest);
}

}  // namespace

void WriteStreamingBar(const char* symbol, float seriesKey, const CHistoryBar& bar) {
    CRowWriter(symbol, seriesKey).Bar(bar);
}

float HistorySeriesKey(float interval, bool streaming) {
    return streaming || interval == 0.0f ? -interval : interval;
}

std::optional<int> HistoryProgressPercent(uint16_t totalDays, const HostDate& requestTime,
                                          const HostDate& dayDate) {
    if (totalDays == 0) {
        return std::nullopt;
    }
    const uint16_t remaining =
        static_cast<uint16_t>(TotalWholeDays(DateDifference(requestTime, dayDate)) + 1);
    const int32_t done = static_cast<int32_t>(totalDays) - static_cast<int32_t>(remaining);
    const double percent = static_cast<double>(done) / totalDays * 100.0;
    if (percent > 0.0 && percent <= 99.0) {
        return static_cast<int>(percent);
    }
    return std::nullopt;
}

void ProcessHistoryText(CHistoryData& data, std::wstring_view chunk) {
    WriteLogLine(L"Processing History Data");
    CHistoryThread& thread = *data.m_pThread;
    ++thread.m_nChunks;
    if (data.m_bFinished) {
        return;
    }

    const float seriesKey = HistorySeriesKey(data.m_fInterval, Globals().streamingEnabled != 0);
    data.m_strSymbolBytes = platform::NarrowText(data.m_strSymbol);
    CRowWriter rows(data.m_strSymbolBytes.c_str(), seriesKey);
    const Family family = FamilyOf(data.m_strRequestType);

    // Lines are read where they lie in the chunk; only a line that began in
    // an earlier chunk is completed in the pending text first. So each chunk
    // is scanned once and the pending text only ever holds the incomplete
    // last line, which has no line feed.
    size_t position = 0;
    if (data.m_bSkippingLongLine || !data.m_strPending.empty()) {
        const size_t newline = chunk.find(L'\n');
        if (newline == std::wstring_view::npos) {
            KeepPending(data, chunk);
            return;
        }
        position = newline + 1;
        if (data.m_bSkippingLongLine) {
            // The end of a line already counted as too long.
            data.m_bSkippingLongLine = false;
        } else if (data.m_strPending.size() + newline > kMaxFeedLineChars) {
            data.m_strPending.clear();
            LogOverLongLine(data);
        } else {
            data.m_strPending.append(chunk.substr(0, position));
            if (!HandleLine(data, family, rows, data.m_strPending, true)) {
                return;
            }
            data.m_strPending.clear();
        }
    }
    // The lines up to the chunk's last line feed are complete: their text
    // ends with a line feed, which bounds every scan of a line. A tick line
    // in the usual layout is read in one pass that also finds its end (and
    // holds no zero byte and no '!'); any other line is cut off at its line
    // feed first. A zero byte and the end message are rare: the rest of the
    // chunk is searched for each once (a fast search over all of it) when the
    // first such line comes, and its lines only when it holds one of them.
    const size_t lastNewline = chunk.rfind(L'\n');
    if (lastNewline == std::wstring_view::npos || lastNewline < position) {
        KeepPending(data, chunk.substr(position));
        return;
    }
    const wchar_t* at = chunk.data() + position;
    const wchar_t* const linesEnd = chunk.data() + lastNewline + 1;
    const bool ticks = family == Family::kTick;
    std::optional<bool> restHoldsRare;
    // Written over by each line that is read.
    CTickFields tick;
    CDateFieldParts parts;
    HostDate when;
    while (at != linesEnd) {
        if (ticks) {
            if (const wchar_t* const end =
                    ReadUsualTickLine(at, linesEnd, &data.m_lineDay, &tick, &parts, &when)) {
                if (!LeftOut(tick)) {
                    WriteTick(data, rows, tick, parts, when);
                }
                at = end;
                continue;
            }
        }
        if (!restHoldsRare) {
            const std::wstring_view rest = chunk.substr(static_cast<size_t>(at - chunk.data()));
            restHoldsRare = rest.find(L'\0') != std::wstring_view::npos ||
                            rest.find(L'!') != std::wstring_view::npos;
        }
        const wchar_t* const newline =
            std::wmemchr(at, L'\n', static_cast<size_t>(linesEnd - at)) + 1;
        if (!HandleLine(data, family, rows,
                        std::wstring_view(at, static_cast<size_t>(newline - at)), *restHoldsRare)) {
            return;
        }
        at = newline;
    }
    KeepPending(data, chunk.substr(lastNewline + 1));
}

}  // namespace orvella
