#include "platform/time_format.h"

#include <locale.h>
#include <time.h>

#include <vector>

namespace platform {

namespace {

locale_t PosixLocale() {
    // Created once and kept for the life of the process.
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return locale;
}

}  // namespace

std::string FormatCalendarTime(const std::tm& parts, const std::string& pattern, size_t maxBytes) {
    if (maxBytes == 0 || pattern.empty()) {
        return std::string();
    }
    std::vector<char> buffer(maxBytes);
    const size_t n =
        strftime_l(buffer.data(), buffer.size(), pattern.c_str(), &parts, PosixLocale());
    return std::string(buffer.data(), n);
}

std::string FormatLocalTime(const std::string& pattern, size_t maxBytes) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm parts{};
    localtime_r(&now.tv_sec, &parts);
    return FormatCalendarTime(parts, pattern, maxBytes);
}

}  // namespace platform
