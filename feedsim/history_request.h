// The lookup port's request lines:
//   HTT,symbol,start,end,max points,begin filter,end filter,direction
//   HIT,symbol,seconds,start,end,max points,begin filter,end filter,direction
//   HDX,symbol,max points,direction   (HWX and HMX alike)
// start and end are "YYYYMMDD HHMMSS" or "YYYYMMDD"; the filters are "HHMMSS";
// any of these may be empty. Fields after the last one listed are ignored.
#pragma once

#include <string>
#include <string_view>

#include "feedsim/civil_time.h"

namespace feedsim {

enum class HistoryKind { kTicks, kIntervalBars, kDailyBars, kWeeklyBars, kMonthlyBars };

struct CHistoryRequest {
    HistoryKind kind = HistoryKind::kTicks;
    std::string command;  // "HTT", "HIT", ...
    std::string symbol;
    int intervalSeconds = 0;  // HIT only, 1 to 86400
    bool hasStart = false;
    CivilSeconds start = 0;
    bool hasEnd = false;
    CivilSeconds end = 0;
    int64_t maxPoints = 0;  // day bars only; 0 means all
    bool filtered = false;  // both filter times empty: no filter
    int filterBegin = 0;    // seconds of the day, inclusive
    int filterEnd = kSecondsPerDay - 1;
};

// Parses one request line (its CR LF already removed). On failure returns
// false and sets *error to the error line's message ("!SYNTAX_ERROR!").
bool ParseHistoryRequest(std::string_view line, CHistoryRequest* out, std::string* error);

}  // namespace feedsim
