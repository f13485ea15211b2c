// Wall-clock time and the high-resolution counter.
#pragma once

#include <cstdint>

#include "platform/platform_export.h"

namespace platform {

struct LocalTime {
    int year, month, day;        // month 1-12, day 1-31
    int hour, minute, second;    // 0-23, 0-59, 0-59
    int milliseconds;
};

// The local wall-clock time.
PLATFORM_API LocalTime CurrentLocalTime();

// High-resolution counter and its frequency in counts per second. False when
// the counter cannot be read.
PLATFORM_API bool QueryPerformanceCounter(int64_t* count);
PLATFORM_API bool QueryPerformanceFrequency(int64_t* frequency);

}  // namespace platform
