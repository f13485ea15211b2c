// Day numbers of the proleptic Gregorian calendar: days since 1 January 1970
// of a date, and the date of a day number, for any year (negative day
// numbers before 1970). Pure arithmetic without tables, shared by the
// plug-in's host dates, the stand-in host and the stand-in feed. The parts of
// a date are not checked: a day 0 or 32 counts on from the month's start.
#pragma once

#include <cstdint>

namespace platform {

constexpr int64_t DaysFromCivil(int64_t year, int month, int day) {
    // Years start in March, so that a leap day is the last day of its year.
    const int64_t y = year - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

constexpr void CivilFromDays(int64_t days, int* year, int* month, int* day) {
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    *month = static_cast<int>(m);
    *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
}

}  // namespace platform
