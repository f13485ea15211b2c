// Civil dates and times of the stand-in feed's clock, and the cheap text
// writers the reply generators use. Times are naive seconds since
// 1970-01-01 00:00:00 on the feed's own (local) clock: no time zone is
// applied anywhere, so a day is always 86400 seconds.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/civil_days.h"

namespace feedsim {

using CivilSeconds = int64_t;

inline constexpr int64_t kSecondsPerDay = 86400;

struct CivilDateTime {
    int year = 1970, month = 1, day = 1;  // month 1-12, day 1-31
    int hour = 0, minute = 0, second = 0;
};

// Day number (days since 1970-01-01) of a proleptic Gregorian date, and the
// date of a day number.
using platform::CivilFromDays;
using platform::DaysFromCivil;
// 0 Sunday ... 6 Saturday.
int Weekday(int64_t days);

CivilDateTime BreakDown(CivilSeconds t);
CivilSeconds MakeCivil(const CivilDateTime& dt);

inline int64_t DayOf(CivilSeconds t) {
    return t >= 0 ? t / kSecondsPerDay : -((-t + kSecondsPerDay - 1) / kSecondsPerDay);
}
inline int SecondOfDay(CivilSeconds t) {
    return static_cast<int>(t - DayOf(t) * kSecondsPerDay);
}

// Writers: each writes at p and returns one past the last character written.
char* WriteTwoDigits(char* p, int value);
char* WriteIsoDate(char* p, int64_t days);        // YYYY-MM-DD
char* WriteIsoDateTime(char* p, CivilSeconds t);  // YYYY-MM-DD HH:MM:SS
char* WriteUsDate(char* p, int64_t days);         // MM/DD/YYYY
char* WriteClock(char* p, int secondOfDay);       // HH:MM:SS
char* WriteCents(char* p, int64_t cents);         // 12.34, -0.05
char* WriteInteger(char* p, int64_t value);

// Parsers; each returns false on text that is not exactly of its form.
// "YYYYMMDD HHMMSS" or "YYYYMMDD" (midnight).
bool ParseCompactDateTime(std::string_view text, CivilSeconds* out);
// "YYYY-MM-DD HH:MM:SS" or "YYYY-MM-DD" (midnight).
bool ParseIsoDateTime(std::string_view text, CivilSeconds* out);
// "HHMMSS" as seconds of the day (00:00:00 to 23:59:59).
bool ParseHhmmss(std::string_view text, int* secondOfDay);

}  // namespace feedsim
