#include "lookup_stand_in.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace orvella::test {

namespace {

std::mutex g_lock;
std::condition_variable g_changed;

constexpr int kLimitMs = 10000;

int ListenOnLoopback(uint16_t* port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd, 4);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    return fd;
}

// Waits for fd to become readable, or for the wake-up pipe; false on time-out
// or wake-up.
bool WaitReadable(int fd, int wakeup, int timeoutMs) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeup, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0) {
        return false;
    }
    return (fds[1].revents & POLLIN) == 0;
}

}  // namespace

CLookupStandIn::CLookupStandIn(std::vector<std::string> pieces, Ending ending, int pauseMs)
    : m_pieces(std::move(pieces)), m_ending(ending), m_pauseMs(pauseMs) {
    m_listener = ListenOnLoopback(&m_port);
    pipe(m_wakeup);
    m_thread = std::thread([this] { Serve(); });
}

CLookupStandIn::~CLookupStandIn() {
    const char stop = 1;
    write(m_wakeup[1], &stop, 1);
    m_thread.join();
    close(m_listener);
    close(m_wakeup[0]);
    close(m_wakeup[1]);
}

std::string CLookupStandIn::Request() {
    std::unique_lock<std::mutex> hold(g_lock);
    g_changed.wait_for(hold, std::chrono::milliseconds(kLimitMs), [this] { return m_requestDone; });
    return m_request;
}

void CLookupStandIn::Serve() {
    if (!WaitReadable(m_listener, m_wakeup[0], kLimitMs)) {
        return;
    }
    const int connection = accept(m_listener, nullptr, nullptr);
    std::string request;
    char byte = 0;
    while (request.size() < 4096 && WaitReadable(connection, m_wakeup[0], kLimitMs) &&
           read(connection, &byte, 1) == 1) {
        request += byte;
        if (byte == '\n') {
            break;
        }
    }
    {
        std::lock_guard<std::mutex> hold(g_lock);
        m_request = request;
        m_requestDone = true;
    }
    g_changed.notify_all();
    for (const std::string& piece : m_pieces) {
        size_t sent = 0;
        while (sent < piece.size()) {
            const ssize_t n =
                send(connection, piece.data() + sent, piece.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                break;
            }
            sent += static_cast<size_t>(n);
        }
        pollfd none{m_wakeup[0], POLLIN, 0};
        if (poll(&none, 1, m_pauseMs) > 0) {
            break;
        }
    }
    if (m_ending == Ending::kHoldOpen) {
        pollfd stop{m_wakeup[0], POLLIN, 0};
        poll(&stop, 1, kLimitMs * 6);
    }
    close(connection);
}

uint16_t UnusedPort() {
    uint16_t port = 0;
    const int fd = ListenOnLoopback(&port);
    close(fd);
    return port;
}

}  // namespace orvella::test
