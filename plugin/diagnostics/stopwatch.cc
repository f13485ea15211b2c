#include "plugin/diagnostics/stopwatch.h"

#include "platform/clock.h"

namespace orvella {

CStopwatch::CStopwatch() {
    if (!platform::QueryPerformanceFrequency(&m_frequency)) {
        m_frequency = 0;
    }
    if (!platform::QueryPerformanceCounter(&m_start)) {
        m_start = 0;
    }
}

int32_t CStopwatch::ElapsedSeconds(float* seconds) const {
    int64_t now = 0;
    if (!platform::QueryPerformanceCounter(&now) || m_start == 0 || m_frequency == 0) {
        return kEFail;
    }
    // The difference is converted to a 32-bit float before the division.
    const float counts = static_cast<float>(now - m_start);
    *seconds = counts / static_cast<float>(m_frequency);
    return 0;
}

}  // namespace orvella
