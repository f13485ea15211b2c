// The lookup port: one request line at a time, its reply produced while the
// connection has room for it.
#include <limits>
#include <string>
#include <string_view>

#include "feedsim/feed_connection.h"
#include "feedsim/history_request.h"
#include "feedsim/synthetic_market.h"

namespace feedsim {

void CFeedServer::HandleLookupLine(CConnection* c, std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.empty()) {
        return;
    }
    c->request.assign(line);
    m_log->Write("lookup request on connection %d: %s", c->fd, c->request.c_str());
    if (m_options.lookupSilent) {
        m_log->Write("lookup connection %d: leaving the request unanswered (fault)", c->fd);
        c->stopped = true;
        return;
    }
    CHistoryRequest request;
    std::string error;
    if (!ParseHistoryRequest(line, &request, &error)) {
        c->out += "E," + error + ",\r\n";
        return;
    }
    if (!IsKnownSymbol(request.symbol)) {
        c->out += "E,Invalid symbol.,\r\n";
        return;
    }
    m_replySettings.nowMicros = m_clock.NowMicros();
    m_replySettings.now = m_replySettings.nowMicros / kMicrosPerSecond;
    c->reply = MakeReplySource(request, m_replySettings);
    c->replyLines = 0;
    c->garbageSent = false;
    if (m_options.lookupCloseAfter == 0) {
        c->reply.reset();
        c->stopped = c->closeWhenFlushed = true;
    }
}

void CFeedServer::ProduceLookup(CConnection* c) {
    while (!c->stopped && c->Pending() < kHighWater) {
        if (!c->reply) {
            const size_t nl = c->in.find('\n');
            if (nl == std::string::npos) {
                return;
            }
            const std::string line = c->in.substr(0, nl);
            c->in.erase(0, nl + 1);
            HandleLookupLine(c, line);
            continue;
        }
        size_t maxLines = std::numeric_limits<size_t>::max();
        if (m_options.lookupCloseAfter >= 0) {
            maxLines = static_cast<size_t>(m_options.lookupCloseAfter - c->replyLines);
        }
        c->replyLines += static_cast<int64_t>(c->reply->Produce(&c->out, kBatchBytes, maxLines));
        if (m_options.garbage && !c->garbageSent && c->replyLines > 0) {
            c->out += GarbageBlock(m_options.longLineBytes);
            c->garbageSent = true;
        }
        if (m_options.lookupCloseAfter >= 0 && c->replyLines >= m_options.lookupCloseAfter) {
            m_log->Write("lookup connection %d: closing after %lld lines (fault)", c->fd,
                         static_cast<long long>(c->replyLines));
            c->reply.reset();
            c->stopped = c->closeWhenFlushed = true;
            return;
        }
        if (c->reply->Exhausted()) {
            if (!m_options.noEndLine) {
                c->out += c->replyLines > 0 ? "!ENDMSG!,\r\n" : "E,!NO_DATA!,\r\n";
            }
            m_log->Write("lookup reply on connection %d: %lld lines for %s", c->fd,
                         static_cast<long long>(c->replyLines), c->request.c_str());
            c->reply.reset();
        }
    }
}

}  // namespace feedsim
