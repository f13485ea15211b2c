#include "platform/time_format.h"

#include <time.h>

#include <vector>

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

}  // namespace platform
