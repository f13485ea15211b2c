#include "plugin/boundary/host_date.h"

#include <cmath>
#include <ctime>

#include "platform/civil_days.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/time_format.h"

namespace orvella {

namespace {

constexpr double kMinDate = -657434.0;  // 1 January 100
constexpr double kMaxDate = 2958465.0;  // 31 December 9999
constexpr double kMaxSpanDays = 3615897.0;

using platform::CivilFromDays;
using platform::DaysFromCivil;

const int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Breaks a day count down to calendar parts at second resolution, rounding to
// the nearest second. False outside years 100 to 9999.
bool PartsFromValue(double value, std::tm* parts) {
    // Before the epoch the time of day lies below the whole day count, so
    // 1 January 100 runs down to kMinDate - 1 (exclusive).
    if (!(value > kMinDate - 1.0 && value < kMaxDate + 1.0)) {
        return false;
    }
    const double rounded = value + (value > 0 ? HalfSecond : -HalfSecond);
    const double whole = std::trunc(rounded);
    const int64_t secondsOfDay = static_cast<int64_t>(std::fabs(rounded - whole) * 86400.0) % 86400;
    int year, month, day;
    const int64_t days = static_cast<int64_t>(whole) + kEpochDays;
    CivilFromDays(days, &year, &month, &day);
    if (year < 100 || year > 9999) {
        return false;
    }
    *parts = std::tm{};
    parts->tm_year = year - 1900;
    parts->tm_mon = month - 1;
    parts->tm_mday = day;
    parts->tm_hour = static_cast<int>(secondsOfDay / 3600);
    parts->tm_min = static_cast<int>(secondsOfDay / 60 % 60);
    parts->tm_sec = static_cast<int>(secondsOfDay % 60);
    // 1 January 1970 was a Thursday.
    parts->tm_wday = static_cast<int>(((days % 7) + 7 + 4) % 7);
    parts->tm_yday = static_cast<int>(days - DaysFromCivil(year, 1, 1));
    parts->tm_isdst = 0;
    return true;
}

}  // namespace

HostDate DateFromParts(int year, int month, int day, int hour, int minute, int second) {
    const bool valid = year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
                       day <= DaysInMonth(year, month);
    if (!valid) {
        return HostDate{0.0, kDateInvalid};
    }
    const double days = static_cast<double>(DaysFromCivil(year, month, day) - kEpochDays);
    return DateAtTime(HostDate{days, kDateValid}, hour, minute, second);
}

HostDate DateAtTime(const HostDate& day, int hour, int minute, int second) {
    const bool valid = day.status == kDateValid && hour >= 0 && hour <= 23 && minute >= 0 &&
                       minute <= 59 && second >= 0 && second <= 59;
    if (!valid) {
        return HostDate{0.0, kDateInvalid};
    }
    const double days = day.value;
    const double time = (hour * 3600 + minute * 60 + second) / 86400.0;
    // Before the epoch the whole part counts back while the time runs forward.
    return HostDate{days >= 0 ? days + time : days - time, kDateValid};
}

HostDate CurrentLocalDate() {
    const platform::LocalTime now = platform::CurrentLocalTime();
    return DateFromParts(now.year, now.month, now.day, now.hour, now.minute, now.second);
}

double ContinuousDayValue(double x) {
    if (x > -HalfSecond) {
        return x;
    }
    return 2.0 * std::ceil(x) - x;
}

DaySpan DateDifference(const HostDate& a, const HostDate& b) {
    const double days = ContinuousDayValue(a.value) - ContinuousDayValue(b.value);
    const bool valid = days >= -kMaxSpanDays && days <= kMaxSpanDays;
    return DaySpan{days, valid ? kDateValid : kDateInvalid};
}

bool DateIsAfter(const HostDate& a, const HostDate& b) {
    if (a.status != kDateValid || b.status != kDateValid) {
        return false;
    }
    return ContinuousDayValue(a.value) > ContinuousDayValue(b.value);
}

int64_t TotalWholeDays(const DaySpan& span) {
    const double shifted = span.days >= 0 ? span.days + HalfSecond : span.days - HalfSecond;
    // An invalid span can hold any double; keep the conversion defined.
    constexpr double kLimit = 9.0e18;
    if (!(std::fabs(shifted) < kLimit)) {
        return std::isnan(shifted) ? 0 : (shifted < 0 ? INT64_MIN : INT64_MAX);
    }
    return static_cast<int64_t>(shifted);
}

std::wstring FormatDate(const HostDate& date, std::wstring_view pattern) {
    if (date.status == kDateNull) {
        return std::wstring();
    }
    std::tm parts;
    if (date.status != kDateValid || !PartsFromValue(date.value, &parts)) {
        return L"Invalid DateTime";
    }
    return platform::WidenText(
        platform::FormatCalendarTime(parts, platform::NarrowText(pattern), 257));
}

}  // namespace orvella
