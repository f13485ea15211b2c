// Dates as the host exchanges them: the OLE Automation day count (days since
// 30 December 1899, the fraction being the time of day) with a status.
// All functions are pure and thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvella {

enum HostDateStatus : int32_t { kDateValid = 0, kDateInvalid = 1, kDateNull = 2 };

struct HostDate {
    double value = 0.0;
    int32_t status = kDateValid;
};

struct DaySpan {
    double days = 0.0;
    int32_t status = kDateValid;
};

// Half a second in days.
inline constexpr double HalfSecond = 5.787037037037037e-6;

HostDate DateFromParts(int year, int month, int day, int hour, int minute, int second);
// The moment hour:minute:second of the day whose midnight is day (a date from
// DateFromParts with the time 0:00:00); invalid when day is or when the time
// is out of range. DateFromParts(y, m, d, h, mi, s) is exactly
// DateAtTime(DateFromParts(y, m, d, 0, 0, 0), h, mi, s), so a reader of many
// times of one day works the day out once.
HostDate DateAtTime(const HostDate& day, int hour, int minute, int second);
HostDate CurrentLocalDate();
double ContinuousDayValue(double x);
DaySpan DateDifference(const HostDate& a, const HostDate& b);
bool DateIsAfter(const HostDate& a, const HostDate& b);
int64_t TotalWholeDays(const DaySpan& span);
// strftime conventions in the POSIX locale; at most 256 characters.
std::wstring FormatDate(const HostDate& date, std::wstring_view pattern);

}  // namespace orvella
