#include "plugin/levelone/level_one_reconnect.h"

#include <algorithm>

#include "platform/message_queue.h"
#include "plugin/boundary/global_state.h"
#include "plugin/diagnostics/log.h"

namespace orvella {

bool CLevelOneReconnect::Active() const {
    if (Globals().reconnectEnabled == 0) {
        return false;
    }
    return m_ePhase != CPhase::kNone || (m_link.Greeted() && m_link.ConnectionGone());
}

void CLevelOneReconnect::Schedule() {
    m_ePhase = CPhase::kWaiting;
    m_nRetryAt = platform::MessageClock() + m_nRetryMs;
    m_nRetryMs = std::min(m_nRetryMs * 2, kLongestRetryMs);
}

bool CLevelOneReconnect::Step() {
    switch (m_ePhase) {
        case CPhase::kNone:
            if (m_link.Greeted() && m_link.ConnectionGone()) {
                WriteLogLine(L"Level One connection lost; reconnecting");
                m_link.ForgetConnection();
                m_nRetryMs = kFirstRetryMs;
                Schedule();
            }
            return false;
        case CPhase::kWaiting:
            if (static_cast<int32_t>(platform::MessageClock() - m_nRetryAt) < 0) {
                return false;
            }
            LogFormat(L"Level One reconnect attempt %d", ++m_nAttempts);
            m_ePhase = CPhase::kConnecting;
            m_nGreetingSteps = 0;
            m_link.StartConnect();
            return false;
        case CPhase::kConnecting:
            m_link.NoteFailedConnect();
            if (m_link.Greeted()) {
                break;
            }
            // A connection the feed client never greets is given up as well.
            if (m_link.LinkUp() && ++m_nGreetingSteps > kGreetingSteps) {
                m_link.DropConnection();
            }
            if (!m_link.LinkUp()) {
                Schedule();
            }
            return false;
    }
    m_ePhase = CPhase::kNone;
    m_nRetryMs = kFirstRetryMs;
    WriteLogLine(L"Level One reconnected");
    m_link.WatchAll();
    return true;
}

}  // namespace orvella
