#include "tests/plugin/levelone/loopback_feed.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace orvella {

CLoopbackFeed::CLoopbackFeed() {
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_listener, 1) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::abort();
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Run(); });
}

CLoopbackFeed::~CLoopbackFeed() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stop = true;
    }
    m_thread.join();
    if (m_connection >= 0) {
        ::close(m_connection);
    }
    ::close(m_listener);
}

void CLoopbackFeed::Run() {
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
        pollfd watched{connection >= 0 ? connection : m_listener, POLLIN, 0};
        if (::poll(&watched, 1, 20) <= 0) {
            continue;
        }
        if (connection < 0) {
            const int accepted = ::accept(m_listener, nullptr, nullptr);
            std::lock_guard<std::mutex> hold(m_lock);
            m_connection = accepted;
            m_changed.notify_all();
            continue;
        }
        char buffer[4096];
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        std::lock_guard<std::mutex> hold(m_lock);
        if (n <= 0) {
            // The peer closed (or the test closed it): stop reading it.
            if (m_connection == connection) {
                ::close(m_connection);
                m_connection = -2;
            }
        } else {
            m_received.append(buffer, static_cast<std::size_t>(n));
        }
        m_changed.notify_all();
    }
}

bool CLoopbackFeed::WaitAccepted(int timeoutMs) {
    std::unique_lock<std::mutex> hold(m_lock);
    return m_changed.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_connection != -1; });
}

void CLoopbackFeed::Send(const std::string& bytes) {
    WaitAccepted(5000);
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_connection >= 0) {
        ::send(m_connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
}

void CLoopbackFeed::CloseConnection() {
    WaitAccepted(5000);
    std::lock_guard<std::mutex> hold(m_lock);
    // Only the server thread closes the descriptor, once it reads the end.
    if (m_connection >= 0) {
        ::shutdown(m_connection, SHUT_RDWR);
    }
}

std::string CLoopbackFeed::Received() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_received;
}

bool CLoopbackFeed::WaitReceived(const std::string& text, int timeoutMs) {
    std::unique_lock<std::mutex> hold(m_lock);
    return m_changed.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_received.find(text) != std::string::npos; });
}

}  // namespace orvella
