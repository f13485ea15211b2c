#include "platform/clock.h"

#include <time.h>

namespace platform {

LocalTime CurrentLocalTime() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    localtime_r(&now.tv_sec, &parts);
    return LocalTime{parts.tm_year + 1900,
                     parts.tm_mon + 1,
                     parts.tm_mday,
                     parts.tm_hour,
                     parts.tm_min,
                     parts.tm_sec,
                     static_cast<int>(now.tv_nsec / 1000000)};
}

bool QueryPerformanceCounter(int64_t* count) {
    timespec now;
    if (count == nullptr || clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
        return false;
    }
    *count = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    return true;
}

bool QueryPerformanceFrequency(int64_t* frequency) {
    if (frequency == nullptr) {
        return false;
    }
    *frequency = 1000000000;
    return true;
}

}  // namespace platform
