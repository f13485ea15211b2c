#include "plugin/history/history_parser.h"

#include <cmath>
#include <initializer_list>
#include <string>

#include "platform/text.h"
#include "plugin/boundary/feed_text.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/host_feed.h"
#include "plugin/diagnostics/log.h"
#include "plugin/history/history_fields.h"
#include "plugin/history/history_thread.h"
#include "plugin/history/history_wait.h"
#include "plugin/levelone/symbol_info.h"

namespace orvella {

namespace {

enum class Family { kNone, kTick, kIntervalBar, kDayBar };

// Value fields after the date field, per family.
constexpr int kTickFields = 9;
constexpr int kBarFields = 6;
constexpr size_t kShortestDateField = 10;

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

bool IsEndLine(std::wstring_view line) {
    constexpr std::wstring_view kEndMessage = L"!ENDMSG!";
    return line[0] == L'E' || (line.size() > 1 && line[1] == L',') ||
           line.find(kEndMessage) != std::wstring_view::npos;
}

std::wstring_view TrimBlanks(std::wstring_view text) {
    constexpr std::wstring_view kBlanks = L" \t\r\n\v\f";
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::wstring_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Fields of one line: [0] the date field, then the value fields F1.. in
// order. False when the line has fewer fields than needed (the split would
// have to go on past the end of the line) or a date field that is too short.
bool SplitLine(std::wstring_view line, int valueFields, std::wstring_view* fields) {
    std::ptrdiff_t position = 0;
    std::wstring_view first = SplitNextField(line, &position);
    if (first.find(L'-') == std::wstring_view::npos) {
        // A leading field such as a request identifier.
        if (position == kEndOfLine) {
            return false;
        }
        first = SplitNextField(line, &position);
    }
    fields[0] = first;
    for (int i = 1; i <= valueFields; ++i) {
        if (position == kEndOfLine) {
            return false;
        }
        fields[i] = SplitNextField(line, &position);
    }
    return fields[0].size() >= kShortestDateField;
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

// Reads the value fields at the given indexes of f into values, in order.
template <size_t N>
bool ReadValues(const std::wstring_view* f, const int (&indexes)[N], double (&values)[N]) {
    for (size_t i = 0; i < N; ++i) {
        if (!ReadFiniteNumber(f[indexes[i]], &values[i])) {
            return false;
        }
    }
    return true;
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

void ProgressStep(CHistoryData& data, std::wstring_view dateField, const CDateFieldParts& parts) {
    const std::wstring_view day = dateField.substr(0, kShortestDateField);
    if (day == data.m_strProgressDay) {
        return;
    }
    data.m_strProgressDay.assign(day);
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

void HandleTickLine(CHistoryData& data, CRowWriter& rows, std::wstring_view line) {
    std::wstring_view f[1 + kTickFields];
    if (!SplitLine(line, kTickFields, f)) {
        LogMalformedLine(data, line);
        return;
    }
    // Extended trades are left out unless the setting admits them.
    if (Globals().extendedTradesEnabled == 0 && f[9].find(L'E') != std::wstring_view::npos) {
        return;
    }
    // Trade price and size, tick-type-2 price and size, tick-type-4 price
    // and size: every value that can reach the host must be a finite number.
    static constexpr int kValueFields[] = {1, 2, 4, 7, 5, 8};
    double v[6];
    CDateFieldParts parts;
    if (!ReadDateFieldParts(f[0], true, &parts) || !ReadValues(f, kValueFields, v)) {
        LogMalformedLine(data, line);
        return;
    }
    const HostDate date =
        DateFromParts(parts.year, parts.month, parts.day, parts.hour, parts.minute, parts.second);
    if (date.status != kDateValid) {
        LogMalformedLine(data, line);
        return;
    }
    const double type4Price = v[4];
    const double type4Size = v[5];
    if (type4Price != data.m_dType4Price || type4Size != data.m_dType4Size) {
        rows.Row({date.value, type4Price, type4Size, 4.0});
        data.m_dType4Price = type4Price;
        data.m_dType4Size = type4Size;
    }
    const double type2Price = v[2];
    const double type2Size = v[3];
    if (type2Price != data.m_dType2Price || type2Size != data.m_dType2Size) {
        rows.Row({date.value, type2Price, type2Size, 2.0});
        data.m_dType2Price = type2Price;
        data.m_dType2Size = type2Size;
    }
    rows.Row({date.value, v[0], v[1], 0.0});
    ProgressStep(data, f[0], parts);
}

void HandleBarLine(CHistoryData& data, CRowWriter& rows, std::wstring_view line, Family family) {
    std::wstring_view f[1 + kBarFields];
    if (!SplitLine(line, kBarFields, f)) {
        LogMalformedLine(data, line);
        return;
    }
    const bool dayBar = family == Family::kDayBar;
    // High, low, open, close, volume: interval bars carry the volume in F6,
    // day bars in F5.
    static constexpr int kIntervalValueFields[] = {1, 2, 3, 4, 6};
    static constexpr int kDayValueFields[] = {1, 2, 3, 4, 5};
    double v[5];
    CDateFieldParts parts;
    if (!ReadDateFieldParts(f[0], !dayBar, &parts) ||
        !ReadValues(f, dayBar ? kDayValueFields : kIntervalValueFields, v)) {
        LogMalformedLine(data, line);
        return;
    }
    const HostDate date =
        DateFromParts(parts.year, parts.month, parts.day, parts.hour, parts.minute, parts.second);
    if (date.status != kDateValid) {
        LogMalformedLine(data, line);
        return;
    }
    data.m_dLastBarDate = date.value;
    const double high = v[0];
    const double low = v[1];
    const double open = v[2];
    const double close = v[3];
    const double volume = v[4];
    if (Globals().streamingEnabled != 0) {
        rows.Row({date.value, open, 0.0});
        rows.Row({date.value, high, 0.0});
        rows.Row({date.value, low, 0.0});
        rows.Row({date.value, close, volume});
    } else {
        rows.Row({date.value, open, high, low, close, volume});
    }
    ProgressStep(data, f[0], parts);
}

// Handles one line, its line feed included. False when it ended the reply.
bool HandleLine(CHistoryData& data, Family family, CRowWriter& rows, std::wstring_view line,
                bool mayHoldZero) {
    if (line.size() > kMaxFeedLineChars + 1) {
        LogOverLongLine(data);
        return true;
    }
    if (mayHoldZero && line.find(L'\0') != std::wstring_view::npos) {
        LogMalformedLine(data, line);
        return true;
    }
    if (IsEndLine(line)) {
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
    // last line, which has no line feed. A zero byte is rare: the chunk is
    // searched for one once, and its lines only when it holds one.
    const bool chunkHoldsZero = chunk.find(L'\0') != std::wstring_view::npos;
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
    for (size_t newline = chunk.find(L'\n', position); newline != std::wstring_view::npos;
         newline = chunk.find(L'\n', position)) {
        if (!HandleLine(data, family, rows, chunk.substr(position, newline - position + 1),
                        chunkHoldsZero)) {
            return;
        }
        position = newline + 1;
    }
    KeepPending(data, chunk.substr(position));
}

}  // namespace orvella
