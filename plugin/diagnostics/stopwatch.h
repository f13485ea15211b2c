// Elapsed time from the high-resolution counter.
#pragma once

#include <cstdint>

namespace orvella {

// The platform's generic failure code.
inline constexpr int32_t kEFail = static_cast<int32_t>(0x80004005u);

class CStopwatch {
  public:
    // Reads the counter's frequency and then the current count as start.
    CStopwatch();
    virtual ~CStopwatch() = default;

    // Writes the seconds since construction to *seconds and returns 0;
    // returns kEFail and leaves *seconds untouched when the counter cannot be
    // read or the start count is 0.
    int32_t ElapsedSeconds(float* seconds) const;

  private:
    int64_t m_frequency = 0;
    int64_t m_start = 0;
};

}  // namespace orvella
