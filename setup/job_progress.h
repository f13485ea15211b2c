// How far a setup job is: bytes done of the whole (when known), the rate and
// the time left, and the one line of text that shows them. Pure logic; the
// caller passes the clock's reading.
#pragma once

#include <cstdint>
#include <string>

namespace orvella {

struct JobProgress {
    int64_t done = 0;
    int64_t total = -1;         // -1: the size is not known
    double bytesPerSecond = 0;  // 0 until it can be measured
    double secondsLeft = -1;    // -1: not known

    // Share done in thousandths (0 to 1000); -1 when the total is not known.
    int Permille() const;
};

class CProgressMeter {
  public:
    // Shortest time between two updates worth showing, in seconds.
    static constexpr double kMinInterval = 0.2;

    // A job begins at now (seconds on any steady clock); total -1 when not
    // known.
    void Start(int64_t total, double now);
    // done bytes at now. True when the change is worth showing: the first
    // reading, reaching the end, a new percentage or kMinInterval since the
    // last reading shown.
    bool Update(int64_t done, double now);
    // The job ended at now: true when its last reading was held back and is
    // now worth showing, so that the final count is never left out.
    bool Finish(double now);
    const JobProgress& Current() const { return m_current; }
    int64_t Total() const { return m_current.total; }

  private:
    JobProgress m_current;
    double m_start = 0;
    double m_lastShown = -1;
    int m_lastPermille = -1;
    int64_t m_lastDone = -1;
};

// "1.5 MB", "800 KB", "312 bytes" (binary multiples).
std::string ByteText(int64_t bytes);
// "45% 12.3 MB of 27.0 MB, 2.1 MB/s, 6 s left"; without a total
// "12.3 MB, 2.1 MB/s". The rate and the time left appear once known.
std::string ProgressText(const JobProgress& progress);

}  // namespace orvella
