// Helpers of the socket tests: a plain POSIX listener on 127.0.0.1 whose
// accepted side the test drives directly, and a bounded message loop.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/message_queue.h"

namespace platform::test {

class Listener {
  public:
    // Binds 127.0.0.1 on a free port; listens unless listen is false (a
    // bound socket that refuses connects and keeps the port taken).
    explicit Listener(bool listen = true) {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        socklen_t len = sizeof(addr);
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        if (listen) {
            ::listen(m_fd, 8);
        }
    }
    ~Listener() { close(m_fd); }

    uint16_t port() const { return m_port; }

    // Accepts one connection within timeoutMs; -1 when none came.
    int Accept(int timeoutMs = 5000) {
        pollfd one{m_fd, POLLIN, 0};
        if (poll(&one, 1, timeoutMs) != 1) {
            return -1;
        }
        return accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    }

  private:
    int m_fd;
    uint16_t m_port = 0;
};

// Sends all bytes on a blocking descriptor.
inline bool SendAll(int fd, const void* data, size_t len) {
    const auto* bytes = static_cast<const char*>(data);
    while (len > 0) {
        const ssize_t n = send(fd, bytes, len, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        bytes += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

// Closes with a reset instead of a graceful close.
inline void ResetAndClose(int fd) {
    linger value{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &value, sizeof(value));
    close(fd);
}

// Waits for and dispatches the thread's messages until done() holds or
// timeoutMs has passed. Returns done().
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        Message msg;
        if (WaitMessage(&msg, static_cast<int>(left.count())) == WaitResult::kMessage) {
            DispatchMessage(msg);
        }
    }
    return true;
}

}  // namespace platform::test
