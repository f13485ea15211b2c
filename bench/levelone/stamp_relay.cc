#include "bench/levelone/stamp_relay.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

#include "testing/loopback.h"

namespace orvella {

namespace {

// The relay stops reading from the feed while this much waits for the
// client, so that a slow client slows the feed as a direct connection would.
constexpr size_t kHighWater = 256 * 1024;
constexpr size_t kReadSize = 128 * 1024;

void SetNonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Field index of line, or an empty view when the line is shorter.
std::string_view FieldAt(std::string_view line, int index) {
    size_t from = 0;
    for (int field = 0; field < index; ++field) {
        const size_t comma = line.find(',', from);
        if (comma == std::string_view::npos) {
            return std::string_view();
        }
        from = comma + 1;
    }
    const size_t comma = line.find(',', from);
    return line.substr(from, comma == std::string_view::npos ? line.size() - from : comma - from);
}

int64_t CountLines(const char* data, size_t size) {
    return std::count(data, data + size, '\n');
}

// Sends all of data on a blocking-or-not socket, waiting for room.
bool SendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd wait{fd, POLLOUT, 0};
            poll(&wait, 1, 50);
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int64_t MonotonicMicros() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

CStampRelay::~CStampRelay() {
    Stop();
}

bool CStampRelay::Start(uint16_t upstreamPort, bool recordStamps, bool holdAfterWatch) {
    m_upstreamPort = upstreamPort;
    m_recordStamps = recordStamps;
    m_holdAfterWatch = holdAfterWatch;
    m_listener = std::make_unique<testing::CLoopbackListener>();
    if (!m_listener->listening()) {
        Stop();
        return false;
    }
    m_port = m_listener->port();
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CStampRelay::Stop() {
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_listener.reset();
}

bool CStampRelay::PopTrade(std::string_view symbol, CTradeStamp* trade) {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto found = m_trades.find(std::string(symbol));
    if (found == m_trades.end() || found->second.empty()) {
        return false;
    }
    *trade = found->second.front();
    found->second.pop_front();
    return true;
}

bool CStampRelay::PeekTrade(std::string_view symbol, size_t index, CTradeStamp* trade) {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto found = m_trades.find(std::string(symbol));
    if (found == m_trades.end() || index >= found->second.size()) {
        return false;
    }
    *trade = found->second[index];
    return true;
}

size_t CStampRelay::PendingTrades() {
    std::lock_guard<std::mutex> hold(m_lock);
    size_t count = 0;
    for (const auto& entry : m_trades) {
        count += entry.second.size();
    }
    return count;
}

void CStampRelay::Run() {
    int client = -1;
    while (!m_stop && client < 0) {
        client = m_listener->Accept(50);
    }
    if (client < 0) {
        return;
    }
    const int upstream = testing::ConnectLoopback(m_upstreamPort);
    if (upstream >= 0) {
        SetNonBlocking(client);
        SetNonBlocking(upstream);
        Relay(client, upstream);
    }
    if (upstream >= 0) {
        close(upstream);
    }
    close(client);
}

void CStampRelay::Relay(int client, int upstream) {
    // A paced stream is many small writes; with Nagle's algorithm each would
    // wait for the acknowledgement of the one before, a delay of the relay's
    // that would be counted as the client's.
    const int one = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    setsockopt(upstream, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::vector<char> buffer(kReadSize);
    std::vector<char> commands(kReadSize);
    std::string out;
    size_t sent = 0;
    bool upstreamOpen = true;
    bool watched = false;
    while (!m_stop && (upstreamOpen || sent < out.size())) {
        const bool held = m_holdAfterWatch && watched && !m_released;
        const bool take = upstreamOpen && !held && out.size() - sent < kHighWater;
        pollfd fds[2] = {
            {upstream, static_cast<short>(take ? POLLIN : 0), 0},
            {client, static_cast<short>(POLLIN | (sent < out.size() ? POLLOUT : 0)), 0}};
        if (poll(fds, 2, 50) <= 0) {
            continue;
        }
        size_t fresh = 0;
        if (fds[0].revents != 0) {
            const ssize_t n = recv(upstream, buffer.data(), buffer.size(), 0);
            if (n > 0) {
                fresh = static_cast<size_t>(n);
                out.append(buffer.data(), fresh);
            } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                upstreamOpen = false;
            }
        }
        if ((fds[1].revents & POLLIN) != 0) {
            const ssize_t n = recv(client, commands.data(), commands.size(), 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
                return;
            }
            if (n > 0 && !SendAll(upstream, commands.data(), static_cast<size_t>(n))) {
                upstreamOpen = false;
            }
            watched = watched || (n > 0 && commands[0] == 'w');
        }
        // What just came is passed on at once (the send does not wait).
        if ((fresh > 0 || (fds[1].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) &&
            sent < out.size()) {
            const ssize_t n =
                send(client, out.data() + sent, out.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                m_lines.fetch_add(CountLines(out.data() + sent, static_cast<size_t>(n)),
                                  std::memory_order_relaxed);
                sent += static_cast<size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                return;
            }
            if (sent == out.size()) {
                out.clear();
                sent = 0;
            } else if (sent >= kHighWater) {
                out.erase(0, sent);
                sent = 0;
            }
        }
        // Remembered after the lines went on, so that this work is no part of
        // the client's delay; the host matches its rows with them only after
        // the measured window.
        if (fresh > 0 && m_recordStamps) {
            NoteLines(buffer.data(), fresh);
        }
    }
}

void CStampRelay::NoteLines(const char* data, size_t size) {
    std::string_view chunk(data, size);
    size_t start = 0;
    if (!m_partial.empty()) {
        const size_t feed = chunk.find('\n');
        if (feed == std::string_view::npos) {
            m_partial.append(chunk);
            return;
        }
        m_partial.append(chunk.substr(0, feed));
        NoteLine(m_partial);
        m_partial.clear();
        start = feed + 1;
    }
    for (size_t feed; (feed = chunk.find('\n', start)) != std::string_view::npos;
         start = feed + 1) {
        NoteLine(chunk.substr(start, feed - start));
    }
    m_partial.assign(chunk.substr(start));
}

void CStampRelay::NoteLine(std::string_view line) {
    if (line.empty() || line[0] != 'Q') {
        return;
    }
    const std::string_view time = FieldAt(line, 17);
    if (time.find_first_of("tT") == std::string_view::npos) {
        return;
    }
    const std::string_view stamp = FieldAt(line, 40);
    const std::string_view price = FieldAt(line, 32);
    CTradeStamp trade;
    std::from_chars(stamp.data(), stamp.data() + stamp.size(), trade.sentMicros);
    std::from_chars(price.data(), price.data() + price.size(), trade.price);
    std::lock_guard<std::mutex> hold(m_lock);
    m_trades[std::string(FieldAt(line, 1))].push_back(trade);
}

}  // namespace orvella
