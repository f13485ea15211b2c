#include "platform/clock.h"

#include "platform/win32/win32_api.h"

namespace platform {

LocalTime CurrentLocalTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return LocalTime{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                     now.wMinute, now.wSecond, now.wMilliseconds};
}

bool QueryPerformanceCounter(int64_t* count) {
    LARGE_INTEGER value;
    if (count == nullptr || !::QueryPerformanceCounter(&value)) {
        return false;
    }
    *count = value.QuadPart;
    return true;
}

bool QueryPerformanceFrequency(int64_t* frequency) {
    LARGE_INTEGER value;
    if (frequency == nullptr || !::QueryPerformanceFrequency(&value)) {
        return false;
    }
    *frequency = value.QuadPart;
    return true;
}

}  // namespace platform
