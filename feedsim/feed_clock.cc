#include "feedsim/feed_clock.h"

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
    if (m_fixed) {
        return m_start + (MonotonicMicros() - m_startMicros) / 1000000;
    }
    const time_t t = time(nullptr);
    tm local;
    localtime_r(&t, &local);
    CivilDateTime dt;
    dt.year = local.tm_year + 1900;
    dt.month = local.tm_mon + 1;
    dt.day = local.tm_mday;
    dt.hour = local.tm_hour;
    dt.minute = local.tm_min;
    dt.second = local.tm_sec == 60 ? 59 : local.tm_sec;
    return MakeCivil(dt);
}

}  // namespace feedsim
