#include "plugin/history/history_parser.h"

#include <cmath>
#include <initializer_list>
#include <string>

#include "platform/text.h"
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

void LogMalformedLine(CHistoryData& data, std::wstring_view line) {
    if (data.m_bMalformedLogged) {
        return;
    }
    data.m_bMalformedLogged = true;
    LogFormat(L"Skipping a history line that could not be read: %ls",
              std::wstring(TrimBlanks(line)).c_str());
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
    const CDateFieldParts parts = ReadDateFieldParts(f[0]);
    const HostDate date =
        DateFromParts(parts.year, parts.month, parts.day, parts.hour, parts.minute, parts.second);
    if (date.status != kDateValid) {
        LogMalformedLine(data, line);
        return;
    }
    const double type4Price = ReadDecimalNumber(f[5]);
    const double type4Size = ReadDecimalNumber(f[8]);
    if (type4Price != data.m_dType4Price || type4Size != data.m_dType4Size) {
        rows.Row({date.value, type4Price, type4Size, 4.0});
        data.m_dType4Price = type4Price;
        data.m_dType4Size = type4Size;
    }
    const double type2Price = ReadDecimalNumber(f[4]);
    const double type2Size = ReadDecimalNumber(f[7]);
    if (type2Price != data.m_dType2Price || type2Size != data.m_dType2Size) {
        rows.Row({date.value, type2Price, type2Size, 2.0});
        data.m_dType2Price = type2Price;
        data.m_dType2Size = type2Size;
    }
    rows.Row({date.value, ReadDecimalNumber(f[1]), ReadDecimalNumber(f[2]), 0.0});
    ProgressStep(data, f[0], parts);
}

void HandleBarLine(CHistoryData& data, CRowWriter& rows, std::wstring_view line, Family family) {
    std::wstring_view f[1 + kBarFields];
    if (!SplitLine(line, kBarFields, f)) {
        LogMalformedLine(data, line);
        return;
    }
    const CDateFieldParts parts = ReadDateFieldParts(f[0]);
    const HostDate date = family == Family::kDayBar
                              ? DateFromParts(parts.year, parts.month, parts.day, 0, 0, 0)
                              : DateFromParts(parts.year, parts.month, parts.day, parts.hour,
                                              parts.minute, parts.second);
    if (date.status != kDateValid) {
        LogMalformedLine(data, line);
        return;
    }
    data.m_dLastBarDate = date.value;
    const double high = ReadDecimalNumber(f[1]);
    const double low = ReadDecimalNumber(f[2]);
    const double open = ReadDecimalNumber(f[3]);
    const double close = ReadDecimalNumber(f[4]);
    // Interval bars carry the volume in F6, day bars in F5.
    const double volume = ReadDecimalNumber(family == Family::kDayBar ? f[5] : f[6]);
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
bool HandleLine(CHistoryData& data, Family family, CRowWriter& rows, std::wstring_view line) {
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
    // last line, which has no line feed.
    size_t position = 0;
    if (!data.m_strPending.empty()) {
        const size_t newline = chunk.find(L'\n');
        if (newline == std::wstring_view::npos) {
            data.m_strPending.append(chunk);
            return;
        }
        data.m_strPending.append(chunk.substr(0, newline + 1));
        if (!HandleLine(data, family, rows, data.m_strPending)) {
            return;
        }
        data.m_strPending.clear();
        position = newline + 1;
    }
    for (size_t newline = chunk.find(L'\n', position); newline != std::wstring_view::npos;
         newline = chunk.find(L'\n', position)) {
        if (!HandleLine(data, family, rows, chunk.substr(position, newline - position + 1))) {
            return;
        }
        position = newline + 1;
    }
    data.m_strPending.assign(chunk.substr(position));
}

}  // namespace orvella
