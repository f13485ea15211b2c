// The host's date values as text: the OLE Automation day count (days since
// 30 December 1899 00:00, the fraction being the time of day; before that
// epoch the whole part counts backwards and the fraction still runs forward).
// Pure functions, safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nsthost {

// Day count of a calendar date and time (proleptic Gregorian, no time zone).
// The parts are not checked.
double DayCountFromParts(int year, int month, int day, int hour, int minute, int second);

// Reads a start date as a script gives it: "YYYY-MM-DD", "YYYY-MM-DDTHH:MM:SS"
// (a real date, year 100 to 9999) or a plain day count ("40756.5"). Returns
// false, leaving *dayCount alone, when the text is none of these.
bool ParseDayCount(std::string_view text, double* dayCount);

// Calendar parts of a moment; weekday 0 is Monday, 6 Sunday.
struct CivilTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 0;
};

// Seconds since 30 December 1899 00:00 on one straight scale (before the
// epoch as well), rounded to the second. False, leaving *seconds alone, for a
// value that names no date in years 100 to 9999 (NaN included).
bool SecondsFromDayCount(double dayCount, int64_t* seconds);

// The calendar parts of a second count of SecondsFromDayCount.
CivilTime CivilFromSeconds(int64_t seconds);

// "YYYY-MM-DD HH:MM:SS" of a second count of SecondsFromDayCount.
std::string FormatSeconds(int64_t seconds);

// "YYYY-MM-DD HH:MM:SS" rounded to the second; "-" for a value that names no
// date in years 100 to 9999 (NaN included).
std::string FormatDayCount(double dayCount);

}  // namespace nsthost
