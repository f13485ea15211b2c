#include "host/day_count.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "platform/civil_days.h"

namespace nsthost {
namespace {

using platform::CivilFromDays;
using platform::DaysFromCivil;

const int64_t kEpoch = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Reads exactly `digits` decimal digits at text[pos].
bool ReadDigits(std::string_view text, size_t pos, size_t digits, int* out) {
    if (pos + digits > text.size()) {
        return false;
    }
    int value = 0;
    for (size_t i = pos; i < pos + digits; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    *out = value;
    return true;
}

bool ParseCalendar(std::string_view text, double* dayCount) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (text.size() != 10 && text.size() != 19) {
        return false;
    }
    if (!ReadDigits(text, 0, 4, &y) || text[4] != '-' || !ReadDigits(text, 5, 2, &mo) ||
        text[7] != '-' || !ReadDigits(text, 8, 2, &d)) {
        return false;
    }
    if (text.size() == 19 &&
        (text[10] != 'T' || !ReadDigits(text, 11, 2, &h) || text[13] != ':' ||
         !ReadDigits(text, 14, 2, &mi) || text[16] != ':' || !ReadDigits(text, 17, 2, &s))) {
        return false;
    }
    if (y < 100 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h > 23 || mi > 59 ||
        s > 59) {
        return false;
    }
    *dayCount = DayCountFromParts(y, mo, d, h, mi, s);
    return true;
}

}  // namespace

double DayCountFromParts(int year, int month, int day, int hour, int minute, int second) {
    const int64_t days = DaysFromCivil(year, month, day) - kEpoch;
    const double fraction = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
    // Before the epoch the fraction runs forward from a whole part that
    // counts backwards: 29 December 1899 06:00 is -1.25.
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

bool ParseDayCount(std::string_view text, double* dayCount) {
    if (text.size() >= 10 && text[4] == '-') {
        return ParseCalendar(text, dayCount);
    }
    double value = 0.0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty()) {
        return false;
    }
    *dayCount = value;
    return true;
}

bool SecondsFromDayCount(double dayCount, int64_t* seconds) {
    // Years 100 to 9999 lie well within these bounds.
    if (!(dayCount > -700000.0 && dayCount < 3000000.0)) {
        return false;
    }
    const auto whole = static_cast<int64_t>(std::trunc(dayCount));
    const int64_t fraction =
        std::llround(std::fabs(dayCount - static_cast<double>(whole)) * 86400.0);
    const int64_t value = whole * 86400 + fraction;
    const int year = CivilFromSeconds(value).year;
    if (year < 100 || year > 9999) {
        return false;
    }
    *seconds = value;
    return true;
}

CivilTime CivilFromSeconds(int64_t seconds) {
    const int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    const int64_t rest = seconds - days * 86400;
    CivilTime civil;
    CivilFromDays(days + kEpoch, &civil.year, &civil.month, &civil.day);
    civil.hour = static_cast<int>(rest / 3600);
    civil.minute = static_cast<int>(rest / 60 % 60);
    civil.second = static_cast<int>(rest % 60);
    // Day 0, 30 December 1899, was a Saturday.
    civil.weekday = static_cast<int>(((days + 5) % 7 + 7) % 7);
    return civil;
}

std::string FormatDayCount(double dayCount) {
    int64_t seconds = 0;
    if (!SecondsFromDayCount(dayCount, &seconds)) {
        return "-";
    }
    return FormatSeconds(seconds);
}

std::string FormatSeconds(int64_t seconds) {
    const CivilTime c = CivilFromSeconds(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day,
                  c.hour, c.minute, c.second);
    return text;
}

}  // namespace nsthost
