#include "plugin/history/history_request.h"

#include <string>
#include <string_view>

#include "platform/text.h"
#include "plugin/boundary/global_state.h"
#include "plugin/diagnostics/error_report.h"
#include "plugin/diagnostics/log.h"
#include "plugin/history/history_thread.h"
#include "plugin/history/history_wait.h"
#include "plugin/history/lookup_connection.h"

namespace orvella {

namespace {

constexpr wchar_t kStartPattern[] = L"%Y%m%d %H%M%S";

void AppendNarrow(std::string* out, std::wstring_view text) {
    out->append(platform::NarrowText(text));
}

// The builders connect only when not yet connected, then pump once more and
// send whatever the outcome: a failed connect shows up as a failed send.
void EnsureConnected(CHistoryData& data) {
    if (!data.m_bConnected) {
        ConnectLookup(data);
        PumpSocketMessages(data.m_socket);
    }
}

// The shape the tick and interval requests share: type, symbol, the bar
// length in seconds where there is one, the start, two empty fields and the
// trade-time filter.
std::string FormatRangeRequest(std::string_view type, std::wstring_view symbol,
                               std::string_view seconds, std::wstring_view startText,
                               std::wstring_view beginFilter, std::wstring_view endFilter) {
    std::string text(type);
    text += ',';
    AppendNarrow(&text, symbol);
    text += ',';
    if (!seconds.empty()) {
        text += seconds;
        text += ',';
    }
    AppendNarrow(&text, startText);
    text += ",,,";
    AppendNarrow(&text, beginFilter);
    text += ',';
    AppendNarrow(&text, endFilter);
    text += ",1\r\n";
    return text;
}

bool RequestDayFamily(CHistoryData& data, std::wstring_view type, std::wstring_view symbol) {
    EnsureConnected(data);
    return SendHistoryRequest(data, FormatDayRequest(type, symbol));
}

}  // namespace

int IntervalSeconds(float interval) {
    return static_cast<int>(static_cast<double>(interval) * 60.0);
}

double RequestStartDate(double startDate, bool* clamped) {
    const double first = DateFromParts(1900, 1, 1, 0, 0, 0).value;
    const double last = DateFromParts(9999, 12, 31, 23, 59, 59).value;
    // Day counts below zero run backwards by day but forwards by time, so
    // any count below the first of 1900 lies before it.
    const double held = startDate < first ? first : (startDate > last ? last : startDate);
    *clamped = held != startDate;
    return held;
}

uint16_t TotalRequestDays(const HostDate& requestTime, const HostDate& startDate) {
    return static_cast<uint16_t>(TotalWholeDays(DateDifference(requestTime, startDate)) + 1);
}

std::string FormatTickRequest(std::wstring_view symbol, std::wstring_view startText,
                              std::wstring_view beginFilter, std::wstring_view endFilter) {
    return FormatRangeRequest("HTT", symbol, {}, startText, beginFilter, endFilter);
}

std::string FormatIntervalRequest(std::wstring_view symbol, int seconds,
                                  std::wstring_view startText, std::wstring_view beginFilter,
                                  std::wstring_view endFilter) {
    return FormatRangeRequest("HIT", symbol, std::to_string(seconds), startText, beginFilter,
                              endFilter);
}

std::string FormatDayRequest(std::wstring_view type, std::wstring_view symbol) {
    std::string text;
    AppendNarrow(&text, type);
    text += ',';
    AppendNarrow(&text, symbol);
    text += ",,1\r\n";
    return text;
}

bool RequestTicks(CHistoryData& data, std::wstring_view symbol, std::wstring_view startText) {
    EnsureConnected(data);
    const CGlobalState& globals = Globals();
    return SendHistoryRequest(
        data, FormatTickRequest(symbol, startText, globals.beginFilterText, globals.endFilterText));
}

bool RequestIntervalBars(CHistoryData& data, std::wstring_view symbol, int seconds,
                         std::wstring_view startText) {
    EnsureConnected(data);
    const CGlobalState& globals = Globals();
    return SendHistoryRequest(
        data, FormatIntervalRequest(symbol, seconds, startText, globals.beginFilterText,
                                    globals.endFilterText));
}

bool RequestDailyBars(CHistoryData& data, std::wstring_view symbol) {
    return RequestDayFamily(data, L"HDX", symbol);
}

bool RequestWeeklyBars(CHistoryData& data, std::wstring_view symbol) {
    return RequestDayFamily(data, L"HWX", symbol);
}

bool RequestMonthlyBars(CHistoryData& data, std::wstring_view symbol) {
    return RequestDayFamily(data, L"HMX", symbol);
}

void RunHistoryRequest(platform::CEvent& completionEvent, CHistoryThread& thread,
                       const std::wstring& symbol, const std::wstring& description,
                       const std::wstring& category, double startDate, float interval,
                       const std::wstring& columnNames) {
    completionEvent.Reset();
    CHistoryData& data = thread.m_data;
    data.m_pCompletionEvent = &completionEvent;
    data.m_pThread = &thread;

    bool clamped = false;
    const double requestStart = RequestStartDate(startDate, &clamped);
    if (clamped) {
        LogFormat(
            L"The start date %lf lies outside the years 1900 to 9999; the request starts at "
            L"%lf",
            startDate, requestStart);
    }
    startDate = requestStart;

    data.m_strSymbol = symbol;
    data.m_strDescription = description;
    data.m_strCategory = category;
    data.m_dStartDate = startDate;
    data.m_fInterval = interval;
    data.m_strColumnNames = columnNames;
    thread.m_strSymbol = symbol;
    thread.m_strDescription = description;
    thread.m_strCategory = category;
    thread.m_dStartDate = startDate;
    thread.m_fInterval = interval;
    thread.m_strColumnNames = columnNames;

    data.m_dtRequestTime = CurrentLocalDate();
    const HostDate start{startDate, kDateValid};
    WriteLogLine(FormatDate(start, L"dStartDate is %A, %B %d, %Y  %H:%M:%S"));
    data.m_nTotalDays = TotalRequestDays(data.m_dtRequestTime, start);

    data.m_strRequestType = data.m_bGapTrades    ? L"HTT"
                            : data.m_bMinuteBars ? L"HIT"
                                                 : HistoryRequestType(interval);
    bool sent = false;
    if (data.m_strRequestType == L"HTT" || data.m_strRequestType == L"HIT") {
        const std::wstring startText = FormatDate(start, kStartPattern);
        WriteLogLine(startText);
        sent = data.m_strRequestType == L"HTT"
                   ? RequestTicks(data, symbol, startText)
                   : RequestIntervalBars(data, symbol,
                                         IntervalSeconds(data.m_bMinuteBars ? 1.0f : interval),
                                         startText);
    } else if (data.m_strRequestType == L"HDX") {
        sent = RequestDailyBars(data, symbol);
    } else if (data.m_strRequestType == L"HWX") {
        sent = RequestWeeklyBars(data, symbol);
    } else if (data.m_strRequestType == L"HMX") {
        sent = RequestMonthlyBars(data, symbol);
    } else {
        LogFormat(L"We did not understand the bar internval %f we received",
                  static_cast<double>(interval));
        FinishHistory(data);
        return;
    }
    if (!sent) {
        ReportError(
            L"Aborting because we were unable to make a history request. Please reload this "
            L"chart!");
        FinishHistory(data);
        return;
    }
    WaitForHistory(thread);
}

}  // namespace orvella
