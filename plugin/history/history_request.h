// The front of a history load: turns the host's request into one of the five
// lookup commands, sends it and waits for the reply to be delivered.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/sync.h"
#include "plugin/boundary/bar_interval.h"
#include "plugin/boundary/host_date.h"
#include "plugin/history/history_data.h"

namespace orvella {

class CHistoryThread;

// Whole seconds of an intraday interval, truncated toward zero.
int IntervalSeconds(float interval);

// The host's start date held to the years 1900 to 9999, the dates the
// feed's request fields can take; *clamped tells whether it was moved. A
// start that is no number is refused earlier, by the request export.
double RequestStartDate(double startDate, bool* clamped);

// Days from startDate to requestTime plus one, as an unsigned 16-bit count.
uint16_t TotalRequestDays(const HostDate& requestTime, const HostDate& startDate);

// The 8-bit request lines, each ending in CR LF. Wide texts are written as
// 8-bit text.
std::string FormatTickRequest(std::wstring_view symbol, std::wstring_view startText,
                              std::wstring_view beginFilter, std::wstring_view endFilter);
std::string FormatIntervalRequest(std::wstring_view symbol, int seconds,
                                  std::wstring_view startText, std::wstring_view beginFilter,
                                  std::wstring_view endFilter);
// type is "HDX", "HWX" or "HMX".
std::string FormatDayRequest(std::wstring_view type, std::wstring_view symbol);

// The request builders: each connects the lookup connection if needed,
// formats its request (the tick and intraday ones with the plug-in's filter
// texts) and returns whether it went out.
bool RequestTicks(CHistoryData& data, std::wstring_view symbol, std::wstring_view startText);
bool RequestIntervalBars(CHistoryData& data, std::wstring_view symbol, int seconds,
                         std::wstring_view startText);
bool RequestDailyBars(CHistoryData& data, std::wstring_view symbol);
bool RequestWeeklyBars(CHistoryData& data, std::wstring_view symbol);
bool RequestMonthlyBars(CHistoryData& data, std::wstring_view symbol);

// Runs one history load on the calling (host) thread: records the request in
// the thread's CHistoryData, sends the request for the interval and waits
// until the reply has been delivered. Returns when the load has ended, failed
// or was abandoned; the completion event has been signalled then in every
// case. A start date outside the years 1900 to 9999 is moved to the nearer
// end, with one log line. An interval that names no request is logged and
// finished at once; a request that could not be sent is logged and shown in
// an error box.
void RunHistoryRequest(platform::CEvent& completionEvent, CHistoryThread& thread,
                       const std::wstring& symbol, const std::wstring& description,
                       const std::wstring& category, double startDate, float interval,
                       const std::wstring& columnNames);

}  // namespace orvella
