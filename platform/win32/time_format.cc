#include "platform/time_format.h"

#include <time.h>

#include <vector>

#include "platform/win32/win32_api.h"

namespace platform {

// The system's C runtime has no strftime with a locale argument; its own
// locale is "C" unless the process changes it, and the patterns this system
// formats are numeric.
std::string FormatCalendarTime(const std::tm& parts, const std::string& pattern, size_t maxBytes) {
    if (maxBytes == 0 || pattern.empty()) {
        return std::string();
    }
    std::vector<char> buffer(maxBytes);
    const size_t n = strftime(buffer.data(), buffer.size(), pattern.c_str(), &parts);
    return std::string(buffer.data(), n);
}

std::string FormatLocalTime(const std::string& pattern, size_t maxBytes) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::tm parts{};
    parts.tm_year = now.wYear - 1900;
    parts.tm_mon = now.wMonth - 1;
    parts.tm_mday = now.wDay;
    parts.tm_hour = now.wHour;
    parts.tm_min = now.wMinute;
    parts.tm_sec = now.wSecond;
    parts.tm_wday = now.wDayOfWeek;
    parts.tm_isdst = -1;
    // Day of the year, for the patterns that name it.
    static constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const bool leap = (now.wYear % 4 == 0 && now.wYear % 100 != 0) || now.wYear % 400 == 0;
    parts.tm_yday = kDaysBefore[now.wMonth - 1] + now.wDay - 1 + (leap && now.wMonth > 2 ? 1 : 0);
    return FormatCalendarTime(parts, pattern, maxBytes);
}

}  // namespace platform
