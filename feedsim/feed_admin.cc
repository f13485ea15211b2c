// The admin port: a status line at once and every second after.
#include <algorithm>
#include <cmath>

#include "feedsim/admin_status.h"
#include "feedsim/feed_connection.h"

namespace feedsim {

bool CFeedServer::LoginDone(int64_t nowMicros) const {
    return !m_options.neverConnected &&
           nowMicros - m_startMicros >=
               static_cast<int64_t>(std::llround(m_options.loginDelaySeconds * 1e6));
}

void CFeedServer::SendAdminStatus(CConnection* c) {
    const int64_t now = MonotonicMicros();
    CAdminStatus status;
    status.connected = LoginDone(now);
    status.level1Port = m_level1Port;
    status.maxSymbols = m_options.maxSymbols;
    for (const auto& [fd, other] : m_connections) {
        if (other->port == Port::kLevelOne) {
            ++status.clients;
            status.watchedSymbols += static_cast<int64_t>(other->streams.size());
        }
    }
    status.started = m_startCivil;
    status.now = m_clock.Now();
    status.login = m_options.login;
    status.product = m_options.product;
    status.productVersion = m_options.productVersion;
    status.bytesSent = m_bytesSent;
    if (c->Pending() < kHighWater) {
        c->out += FormatAdminStatus(status);
    }
    c->nextStatus = now + kStatusPeriodMicros;
    if (!status.connected && !m_options.neverConnected) {
        // Report the change as soon as the login delay has passed.
        const int64_t loginAt =
            m_startMicros + static_cast<int64_t>(std::llround(m_options.loginDelaySeconds * 1e6));
        c->nextStatus = std::min(c->nextStatus, std::max(loginAt, now + 1));
    }
}

}  // namespace feedsim
