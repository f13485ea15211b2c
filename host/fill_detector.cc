#include "host/fill_detector.h"

#include <algorithm>

namespace nsthost {

CFillDetector::Verdict CFillDetector::Judge(double rowSeconds, double arrivalSeconds) {
    const double lag = arrivalSeconds - rowSeconds;
    if (m_inStretch) {
        if (lag <= m_usual + kCatchUpSeconds) {
            m_inStretch = false;
            AddLive(lag);
            return Verdict::kLive;
        }
        if (arrivalSeconds - m_stretchArrival <= kMaxFillSeconds) {
            return Verdict::kFilled;
        }
        m_inStretch = false;
        m_live = 0;
        AddLive(lag);
        return Verdict::kStretchWasLive;
    }
    if (m_live >= kMinLiveRows && lag > m_usual + kFillLagSeconds) {
        m_inStretch = true;
        m_stretchArrival = arrivalSeconds;
        return Verdict::kFilled;
    }
    AddLive(lag);
    return Verdict::kLive;
}

void CFillDetector::AddLive(double lag) {
    m_recent[m_live % kWindow] = lag;
    ++m_live;
    // The median of a full window moves slowly: every eighth row is enough.
    if (m_live > kWindow && m_live % 8 != 0) {
        return;
    }
    const size_t count = std::min<size_t>(m_live, kWindow);
    std::array<double, kWindow> sorted = m_recent;
    std::nth_element(sorted.begin(), sorted.begin() + count / 2, sorted.begin() + count);
    m_usual = sorted[count / 2];
}

}  // namespace nsthost
