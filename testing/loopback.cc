#include "testing/loopback.h"

#include <chrono>

namespace orvella::testing {

namespace {

constexpr int kAcceptLimitMs = 10000;

}  // namespace

CLoopbackListener::CLoopbackListener(uint16_t port, bool listen) {
    m_fd = OpenLoopbackSocket(port, listen, &m_port);
}

CLoopbackListener::~CLoopbackListener() {
    if (m_fd >= 0) {
        CloseSocket(m_fd);
    }
}

int CLoopbackListener::Accept(int timeoutMs) {
    if (m_fd < 0 || !WaitReadable(m_fd, timeoutMs)) {
        return -1;
    }
    return AcceptSocket(m_fd);
}

CLoopbackServer::CLoopbackServer(uint16_t port, Script script)
    : m_listener(port), m_script(std::move(script)) {
    if (!m_listener.listening()) {
        return;
    }
    m_thread = std::thread([this] { Run(); });
    if (m_script) {
        m_scriptThread = std::thread([this] {
            if (WaitAccepted(kAcceptLimitMs)) {
                m_script(*this);
            }
        });
    }
}

CLoopbackServer::~CLoopbackServer() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stop = true;
    }
    m_changed.notify_all();
    Finish();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_connection >= 0) {
        CloseSocket(m_connection);
    }
}

void CLoopbackServer::Run() {
    // Polls in short slices so that the destructor's stop is seen promptly.
    for (;;) {
        int connection;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            if (m_stop) {
                return;
            }
            connection = m_connection;
        }
        if (connection == -2) {
            Pause(20);
            continue;
        }
        if (!WaitReadable(connection >= 0 ? connection : m_listener.fd(), 20)) {
            continue;
        }
        if (connection < 0) {
            const int accepted = m_listener.Accept(0);
            std::lock_guard<std::mutex> hold(m_lock);
            m_connection = accepted;
            m_changed.notify_all();
            continue;
        }
        char buffer[4096];
        const long n = ReceiveSome(connection, buffer, sizeof buffer);
        std::lock_guard<std::mutex> hold(m_lock);
        if (n <= 0) {
            // Only this thread closes the descriptor, once it reads the end.
            m_clientClosed = !m_closedHere;
            CloseSocket(m_connection);
            m_connection = -2;
        } else {
            m_received.append(buffer, static_cast<size_t>(n));
        }
        m_changed.notify_all();
    }
}

bool CLoopbackServer::WaitAccepted(int timeoutMs) {
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                       [this] { return m_connection != -1 || m_stop; });
    return m_connection != -1;
}

void CLoopbackServer::Send(const std::string& bytes) {
    WaitAccepted(5000);
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_connection >= 0) {
        SendAll(m_connection, bytes.data(), bytes.size());
    }
}

void CLoopbackServer::CloseConnection() {
    WaitAccepted(5000);
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_connection >= 0) {
        m_closedHere = true;
        ShutdownSocket(m_connection);
    }
}

std::string CLoopbackServer::Received() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_received;
}

bool CLoopbackServer::WaitReceived(const std::string& text, int timeoutMs) {
    std::unique_lock<std::mutex> hold(m_lock);
    return m_changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] {
        return m_received.find(text) != std::string::npos || m_connection == -2 || m_stop;
    }) && m_received.find(text) != std::string::npos;
}

bool CLoopbackServer::WaitClientClosed(int timeoutMs) {
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                       [this] { return m_clientClosed || m_stop; });
    return m_clientClosed;
}

bool CLoopbackServer::Pause(int ms) {
    std::unique_lock<std::mutex> hold(m_lock);
    return !m_changed.wait_for(hold, std::chrono::milliseconds(ms), [this] { return m_stop; });
}

void CLoopbackServer::Finish() {
    if (m_scriptThread.joinable()) {
        m_scriptThread.join();
    }
}

bool SendAll(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const long n = SendSome(fd, bytes, size);
        if (n <= 0) {
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReceiveAll(int fd, void* data, size_t size) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const long n = ReceiveSome(fd, bytes, size);
        if (n <= 0) {
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool PortIsListening(uint16_t port) {
    const int probe = ConnectLoopback(port);
    if (probe < 0) {
        return false;
    }
    CloseSocket(probe);
    return true;
}

uint16_t UnusedPort() {
    const CLoopbackListener probe(0, false);
    return probe.port();
}

}  // namespace orvella::testing
