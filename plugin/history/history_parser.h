// The lookup reply parser: cuts received text into lines, turns each tick or
// bar line into host rows, reports progress and recognises the end of the
// reply. Runs on the host's calling thread, inside the socket's read
// notification.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "plugin/boundary/host_date.h"
#include "plugin/history/history_data.h"

namespace orvella {

// ProcessHistoryText(CHistoryData&, std::wstring_view) is declared with
// CHistoryData: it appends chunk to the pending text and handles every
// complete line. Each chunk is scanned once; an incomplete last line waits
// for its line feed. Lines that cannot be read (a date field shorter than 10
// characters, too few fields, a date that names no real day) are skipped and
// the first of a load is logged. The end line or an error line finishes the
// load (FinishHistory) and sets the thread's m_bDone; text after it is
// ignored. Lines are read in place, so the chunk must stay unchanged until
// the call returns (the host library's calls do not dispatch messages).

// The key that names the request's host series: the interval negated in the
// streaming layouts and for ticks (negative zero), else the interval.
float HistorySeriesKey(float interval, bool streaming);

// Hands one bar to the host series in the streaming layout (four rows).
void WriteStreamingBar(const char* symbol, float seriesKey, const CHistoryBar& bar);

// The percent to report when the data reaches dayDate: the share of the
// requested days done, or nothing when it is not above 0 and at most 99 (or
// totalDays is 0).
std::optional<int> HistoryProgressPercent(uint16_t totalDays, const HostDate& requestTime,
                                          const HostDate& dayDate);

}  // namespace orvella
