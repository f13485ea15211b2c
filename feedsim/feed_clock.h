// The stand-in feed's clocks: a monotonic microsecond counter for timers and
// send time stamps, and the feed's civil time of day, which is the local wall
// clock or, with a fixed start (--now), that start plus the time run since.
#pragma once

#include <cstdint>

#include "feedsim/civil_time.h"

namespace feedsim {

int64_t MonotonicMicros();

class CFeedClock {
  public:
    // Local wall clock.
    CFeedClock();
    // Starts at start and runs on in real time.
    explicit CFeedClock(CivilSeconds start);

    CivilSeconds Now() const;
    // The same to the microsecond (microseconds since the epoch).
    int64_t NowMicros() const;

  private:
    bool m_fixed = false;
    CivilSeconds m_start = 0;
    int64_t m_startMicros = 0;
};

}  // namespace feedsim
