#include "setup/feed_probe.h"

#include "platform/message_queue.h"

namespace orvella {

namespace {

// Longest line kept; a longer one is cut there (the check reads only the
// first fields).
constexpr size_t kMaxLine = 65536;

std::string Within(int timeoutMs) {
    return "no answer within " + std::to_string((timeoutMs + 999) / 1000) + " s";
}

std::string ConnectFailure(int error) {
    if (error == platform::kWsaConnectionRefused)
        return "connection refused: nothing listens there";
    return "the connection failed (socket error " + std::to_string(error) + ")";
}

}  // namespace

CFeedProbe::~CFeedProbe() {
    Close();
}

template <typename Done>
bool CFeedProbe::WaitUntil(Done done, int timeoutMs) {
    const uint32_t start = platform::MessageClock();
    while (!done()) {
        const auto elapsed = static_cast<int>(platform::MessageClock() - start);
        if (elapsed >= timeoutMs)
            return false;
        platform::Message message;
        const platform::WaitResult result = platform::WaitMessage(&message, timeoutMs - elapsed);
        if (result == platform::WaitResult::kQuit) {
            // Kept for the program's own loop.
            platform::PostQuitMessage(static_cast<int>(message.wparam));
            return false;
        }
        if (result == platform::WaitResult::kMessage)
            platform::DispatchMessage(message);
        else if (result == platform::WaitResult::kFailed)
            return false;
    }
    return true;
}

bool CFeedProbe::Open(uint16_t port, int timeoutMs) {
    if (!platform::InitSockets() || !Create()) {
        m_failure = "no socket could be made (socket error " +
                    std::to_string(platform::LastSocketError()) + ")";
        return false;
    }
    if (platform::CAsyncSocket::Connect("127.0.0.1", port))
        return true;
    if (platform::LastSocketError() != platform::kWsaWouldBlock) {
        m_failure = ConnectFailure(platform::LastSocketError());
        return false;
    }
    if (!WaitUntil([this] { return m_connectDone; }, timeoutMs)) {
        m_failure = Within(timeoutMs);
        return false;
    }
    if (m_connectError != 0) {
        m_failure = ConnectFailure(m_connectError);
        return false;
    }
    return true;
}

bool CFeedProbe::SendText(const std::string& text) {
    // Lines this short fit the send buffer of a fresh connection.
    if (Send(text.data(), static_cast<int>(text.size())) != static_cast<int>(text.size())) {
        m_failure = "the request could not be sent (socket error " +
                    std::to_string(platform::LastSocketError()) + ")";
        return false;
    }
    return true;
}

bool CFeedProbe::ReadLine(std::string* line, int timeoutMs) {
    const auto lineEnd = [this] {
        return m_pending.find('\n') != std::string::npos || m_closed ||
               m_pending.size() >= kMaxLine;
    };
    if (!WaitUntil(lineEnd, timeoutMs)) {
        m_failure = Within(timeoutMs);
        return false;
    }
    size_t end = m_pending.find('\n');
    if (end == std::string::npos) {
        if (m_pending.size() < kMaxLine) {
            m_failure = "the connection was closed";
            return false;
        }
        end = kMaxLine;
    }
    *line = m_pending.substr(0, end);
    m_pending.erase(0, end + 1);
    if (!line->empty() && line->back() == '\r')
        line->pop_back();
    return true;
}

void CFeedProbe::OnConnect(int error) {
    m_connectDone = true;
    m_connectError = error;
}

void CFeedProbe::OnReceive(int) {
    Drain();
}

void CFeedProbe::OnClose(int) {
    Drain();
    m_closed = true;
}

void CFeedProbe::Drain() {
    char buffer[4096];
    for (;;) {
        const int got = Receive(buffer, sizeof(buffer));
        if (got <= 0) {
            if (got == 0)
                m_closed = true;
            return;
        }
        m_pending.append(buffer, static_cast<size_t>(got));
    }
}

}  // namespace orvella
