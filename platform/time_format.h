// Formatting calendar parts with the strftime conventions of the POSIX locale
// (English day and month names), without touching the process's locale.
#pragma once

#include <ctime>
#include <string>

#include "platform/platform_export.h"

namespace platform {

// Formats parts with pattern into at most maxBytes - 1 bytes; returns the
// text (empty when it would not fit, as strftime reports). Thread-safe.
PLATFORM_API std::string FormatCalendarTime(const std::tm& parts, const std::string& pattern,
                                            size_t maxBytes = 256);

// The local wall-clock time of the call, to the second, formatted with pattern
// as FormatCalendarTime does (the same clock as CurrentLocalTime). Thread-safe.
PLATFORM_API std::string FormatLocalTime(const std::string& pattern, size_t maxBytes = 256);

}  // namespace platform
