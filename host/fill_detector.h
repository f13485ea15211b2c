// Tells the rows of a gap fill from live rows. A plug-in hands both through
// the same calls, and only its log says when it lost the feed and filled the
// gap; the rows themselves show it, though. A live row arrives moments after
// its own time; the rows of a fill come in a burst once the connection is
// back, long after theirs, then catch up with the live rows. So a streamed
// row whose lag (arrival on a steady clock minus the row's own time) exceeds
// the usual lag of the live rows (the median of the recent ones) by more than
// kFillLagSeconds begins a filled stretch, which lasts until a row arrives
// within kCatchUpSeconds of the usual lag again. The lag's constant part (the
// feed's time zone, the two clocks' epochs) cancels out, and a quiet symbol
// lags no more than a busy one. A stretch that has not caught up after
// kMaxFillSeconds is no fill but a step of the feed's clock (a feed restarted
// at another time, a change to summer time): its rows count as live, and the
// usual lag starts anew from them. Pure logic, no I/O.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace nsthost {

inline constexpr double kFillLagSeconds = 2.0;
inline constexpr double kCatchUpSeconds = 0.5;
inline constexpr double kMaxFillSeconds = 60.0;
// Live rows seen before any row is judged a fill: the rows held during a
// history load come first, and lag by the load's length.
inline constexpr uint32_t kMinLiveRows = 8;

class CFillDetector {
  public:
    enum class Verdict {
        kLive,
        kFilled,
        // The stretch so far was a step of the feed's clock: the rows since
        // it began are live, and so is this one.
        kStretchWasLive,
    };

    // Judges the next streamed row from its own time and its arrival, both
    // in seconds (finite; epochs of the caller's choice, the same for every
    // row).
    Verdict Judge(double rowSeconds, double arrivalSeconds);

  private:
    void AddLive(double lag);

    static constexpr size_t kWindow = 31;
    std::array<double, kWindow> m_recent{};  // lags of the latest live rows, a ring
    uint32_t m_live = 0;                     // live rows since the start or a step
    double m_usual = 0.0;                    // the median of m_recent
    bool m_inStretch = false;
    double m_stretchArrival = 0.0;  // arrival of the stretch's first row
};

}  // namespace nsthost
