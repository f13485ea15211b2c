#include "feedsim/feed_clock.h"

#include <sys/time.h>
#include <time.h>

namespace feedsim {

int64_t MonotonicMicros() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

CFeedClock::CFeedClock() = default;

CFeedClock::CFeedClock(CivilSeconds start)
    : m_fixed(true), m_start(start), m_startMicros(MonotonicMicros()) {}

CivilSeconds CFeedClock::Now() const {
    return NowMicros() / 1000000;
}

int64_t CFeedClock::NowMicros() const {
    if (m_fixed) {
        return m_start * 1000000 + (MonotonicMicros() - m_startMicros);
    }
    timeval tv;
    gettimeofday(&tv, nullptr);
    tm local;
    localtime_r(&tv.tv_sec, &local);
    CivilDateTime dt;
    dt.year = local.tm_year + 1900;
    dt.month = local.tm_mon + 1;
    dt.day = local.tm_mday;
    dt.hour = local.tm_hour;
    dt.minute = local.tm_min;
    dt.second = local.tm_sec == 60 ? 59 : local.tm_sec;
    return MakeCivil(dt) * 1000000 + tv.tv_usec;
}

}  // namespace feedsim
