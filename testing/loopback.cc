#include "testing/loopback.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace orvella::testing {

namespace {

constexpr int kAcceptLimitMs = 10000;

}  // namespace

CLoopbackListener::CLoopbackListener(uint16_t port, bool listen) {
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (port != 0) {
        // A fixed port may still be in TIME_WAIT from the test before.
        const int on = 1;
        setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    }
    sockaddr_in address = LoopbackAddress(port);
    socklen_t size = sizeof(address);
    if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        (listen && ::listen(m_fd, 8) != 0) ||
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (m_fd >= 0) {
            close(m_fd);
        }
        m_fd = -1;
        return;
    }
    m_port = ntohs(address.sin_port);
}

CLoopbackListener::~CLoopbackListener() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

int CLoopbackListener::Accept(int timeoutMs) {
    pollfd one{m_fd, POLLIN, 0};
    if (m_fd < 0 || poll(&one, 1, timeoutMs) != 1) {
        return -1;
    }
    return accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
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
        close(m_connection);
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
        pollfd watched{connection >= 0 ? connection : m_listener.fd(), POLLIN, 0};
        if (poll(&watched, 1, 20) <= 0) {
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
        const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
        std::lock_guard<std::mutex> hold(m_lock);
        if (n <= 0) {
            // Only this thread closes the descriptor, once it reads the end.
            m_clientClosed = !m_closedHere;
            close(m_connection);
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
        shutdown(m_connection, SHUT_RDWR);
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
        const ssize_t n = send(fd, bytes, size, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void ResetAndClose(int fd) {
    linger value{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &value, sizeof(value));
    close(fd);
}

bool PortIsListening(uint16_t port) {
    const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = LoopbackAddress(port);
    const bool connected =
        connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    close(probe);
    return connected;
}

uint16_t UnusedPort() {
    const CLoopbackListener probe(0, false);
    return probe.port();
}

}  // namespace orvella::testing
