#include "feedsim/feed_server.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "feedsim/feed_connection.h"
#include "feedsim/level_one_stream.h"

namespace feedsim {

std::string GarbageBlock(int longLineBytes) {
    std::string g;
    g.append("\0\0\0garbage\0\x01\x7f\xfe\xff,,\r\n", 19);
    g.push_back('#');
    g.append(static_cast<size_t>(longLineBytes), 'X');
    g.append("\r\n~~~ noise \xe9\xe8 ~~~\r\n");
    return g;
}

namespace {

int ListenOn(int port, int* bound, std::string* error) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 128) != 0) {
        *error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    *bound = ntohs(addr.sin_port);
    return fd;
}

size_t MaxConnections() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    const rlim_t usable = limit.rlim_cur > 64 ? limit.rlim_cur - 32 : 32;
    return static_cast<size_t>(std::min<rlim_t>(usable, 4096));
}

}  // namespace

CFeedServer::CFeedServer(const CSimOptions& options, CServeLog* log)
    : m_options(options),
      m_log(log),
      m_clock(options.fixedNow ? CFeedClock(options.now) : CFeedClock()),
      m_startMicros(MonotonicMicros()),
      m_startCivil(m_clock.Now()),
      m_maxConnections(MaxConnections()) {
    m_replySettings.tickDays = options.tickDays;
    m_replySettings.barDays = options.barDays;
    m_replySettings.dailyDays = options.dailyDays;
    m_replySettings.forcedLines = options.historyLines;
    m_replySettings.dataDir = options.dataDir;
    // The lookup history is the market the level-one port streams; at the
    // maximum rate, or with no updates, the market trades at the default rate.
    m_replySettings.market.rate =
        options.fastest || options.updateRate <= 0 ? kDefaultTradeRate : options.updateRate;
    m_replySettings.market.session = options.session;
}

CFeedServer::~CFeedServer() {
    while (!m_connections.empty()) {
        Close(m_connections.begin()->second.get());
    }
    for (int fd : {m_lookupListen, m_level1Listen, m_adminListen, m_epoll}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool CFeedServer::Listen(std::string* error) {
    struct Wanted {
        bool serve;
        int port;
        int* listenFd;
        int* bound;
    };
    const Wanted wanted[] = {
        {m_options.listenLookup, m_options.lookupPort, &m_lookupListen, &m_lookupPort},
        {m_options.listenLevel1, m_options.level1Port, &m_level1Listen, &m_level1Port},
        {m_options.listenAdmin, m_options.adminPort, &m_adminListen, &m_adminPort},
    };
    for (const Wanted& w : wanted) {
        if (w.serve && (*w.listenFd = ListenOn(w.port, w.bound, error)) < 0) {
            return false;
        }
    }
    return true;
}

bool CFeedServer::OnSignal(int signalFd) {
    signalfd_siginfo info{};
    if (read(signalFd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) {
        return false;
    }
    if (info.ssi_signo == SIGUSR1) {
        DropLevelOne();
        return true;
    }
    if (info.ssi_signo == SIGUSR2) {
        RestoreLevelOne();
        return true;
    }
    return false;
}

void CFeedServer::DropPort(Port port, int* listenFd, int boundPort, const char* name) {
    std::vector<CConnection*> dropped;
    for (const auto& [fd, c] : m_connections) {
        if (c->port == port) {
            dropped.push_back(c.get());
        }
    }
    for (CConnection* c : dropped) {
        Close(c);
    }
    if (*listenFd >= 0) {
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, *listenFd, nullptr);
        close(*listenFd);
        *listenFd = -1;
    }
    m_log->Write("%s dropped: %zu connections closed, port %d refused", name, dropped.size(),
                 boundPort);
}

void CFeedServer::RestorePort(int* listenFd, int boundPort, const char* name) {
    std::string error;
    int bound = -1;
    *listenFd = ListenOn(boundPort, &bound, &error);
    if (*listenFd < 0) {
        m_log->Write("%s not restored: %s", name, error.c_str());
        return;
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = *listenFd;
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, *listenFd, &ev);
    m_log->Write("%s restored on port %d", name, boundPort);
}

void CFeedServer::DropLevelOne() {
    DropPort(Port::kLevelOne, &m_level1Listen, m_level1Port, "level1");
    if (m_options.lookupLagSeconds >= 0.0 && m_options.listenLookup) {
        m_lookupRestoreAt = -1;
        DropPort(Port::kLookup, &m_lookupListen, m_lookupPort, "lookup");
    }
}

void CFeedServer::RestoreLevelOne() {
    if (m_level1Listen >= 0 || !m_options.listenLevel1) {
        return;
    }
    RestorePort(&m_level1Listen, m_level1Port, "level1");
    if (m_options.lookupLagSeconds >= 0.0 && m_options.listenLookup && m_lookupListen < 0) {
        m_lookupRestoreAt = MonotonicMicros() +
                            static_cast<int64_t>(std::llround(m_options.lookupLagSeconds * 1e6));
    }
}

bool CFeedServer::Run(int stopFd) {
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    if (m_epoll < 0) {
        return false;
    }
    for (int fd : {stopFd, m_lookupListen, m_level1Listen, m_adminListen}) {
        if (fd >= 0) {
            epoll_event ev{};
            ev.events = EPOLLIN;
            ev.data.fd = fd;
            if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev) != 0) {
                return false;
            }
        }
    }
    epoll_event events[64];
    std::vector<int> due;
    while (true) {
        const int64_t next = NextDue();
        int timeout = -1;
        if (next != kNever) {
            const int64_t wait = next - MonotonicMicros();
            timeout =
                wait <= 0 ? 0 : static_cast<int>(std::min<int64_t>((wait + 999) / 1000, 60000));
        }
        const int n = epoll_wait(m_epoll, events, 64, timeout);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        for (int i = 0; i < n; ++i) {
            const int fd = events[i].data.fd;
            if (fd == stopFd) {
                if (!OnSignal(stopFd)) {
                    m_log->Write("stopping");
                    return true;
                }
                continue;
            }
            if (fd == m_lookupListen) {
                Accept(fd, Port::kLookup);
            } else if (fd == m_level1Listen) {
                Accept(fd, Port::kLevelOne);
            } else if (fd == m_adminListen) {
                Accept(fd, Port::kAdmin);
            } else if (auto it = m_connections.find(fd); it != m_connections.end()) {
                CConnection* c = it->second.get();
                if (events[i].events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
                    OnReadable(c);
                    if (m_connections.find(fd) == m_connections.end()) {
                        continue;
                    }
                }
                Service(c);
            }
        }
        const int64_t now = MonotonicMicros();
        if (m_lookupRestoreAt >= 0 && m_lookupRestoreAt <= now) {
            m_lookupRestoreAt = -1;
            RestorePort(&m_lookupListen, m_lookupPort, "lookup");
        }
        due.clear();
        for (const auto& [fd, c] : m_connections) {
            if (c->nextStatus <= now || c->nextUpdate <= now ||
                (c->port == Port::kLookup && m_options.oneByte && c->Pending() > 0 &&
                 c->nextByte <= now)) {
                due.push_back(fd);
            }
        }
        for (int fd : due) {
            if (auto it = m_connections.find(fd); it != m_connections.end()) {
                Service(it->second.get());
            }
        }
    }
}

int64_t CFeedServer::NextDue() const {
    int64_t next = m_lookupRestoreAt >= 0 ? m_lookupRestoreAt : kNever;
    for (const auto& [fd, c] : m_connections) {
        next = std::min({next, c->nextStatus, c->nextUpdate});
        if (c->port == Port::kLookup && m_options.oneByte && c->Pending() > 0) {
            next = std::min(next, c->nextByte);
        }
    }
    return next;
}

void CFeedServer::Accept(int listenFd, Port port) {
    static const char* const kNames[] = {"lookup", "level1", "admin"};
    while (true) {
        const int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                m_log->Write("accept failed: %s", std::strerror(errno));
            }
            return;
        }
        if (m_connections.size() >= m_maxConnections) {
            m_log->Write("%s connection refused: %zu connections open",
                         kNames[static_cast<int>(port)], m_connections.size());
            close(fd);
            continue;
        }
        if (port == Port::kAdmin && m_options.adminClose) {
            m_log->Write("admin connection closed at once (fault)");
            close(fd);
            continue;
        }
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto owned = std::make_unique<CConnection>();
        CConnection* c = owned.get();
        c->fd = fd;
        c->port = port;
        epoll_event ev{};
        ev.events = c->events = EPOLLIN | EPOLLRDHUP;
        ev.data.fd = fd;
        if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev) != 0) {
            close(fd);
            continue;
        }
        m_connections.emplace(fd, std::move(owned));
        m_log->Write("%s connection %d opened", kNames[static_cast<int>(port)], fd);
        if (port == Port::kAdmin) {
            SendAdminStatus(c);
        } else if (port == Port::kLevelOne) {
            if (m_options.level1CloseAfter == 0) {
                c->stopped = c->closeWhenFlushed = true;
            }
            if (!m_options.noCustomerInfo && AppendLevelOneLine(c)) {
                c->out += "S,CUST,real_time,127.0.0.1," + std::to_string(m_lookupPort) +
                          ",0,6.2.0.25,,500,QT_API,,\r\n";
            }
            if (AppendLevelOneLine(c)) {
                c->out += "S,SERVER CONNECTED\r\n";
            }
            if (m_options.garbage && !c->stopped) {
                c->out += GarbageBlock(m_options.longLineBytes);
            }
        }
        Service(c);
    }
}

void CFeedServer::OnReadable(CConnection* c) {
    char buffer[16384];
    while (!c->peerClosed) {
        const ssize_t n = recv(c->fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            if (c->port != Port::kAdmin) {
                c->in.append(buffer, static_cast<size_t>(n));
            }
            if (c->in.size() > kMaxInput && c->in.find('\n') == std::string::npos) {
                m_log->Write("over-long input line dropped on connection %d", c->fd);
                c->in.clear();
            }
            continue;
        }
        if (n == 0) {
            c->peerClosed = true;
        } else if (errno == EINTR) {
            continue;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            Close(c);
            return;
        }
        break;
    }
    if (c->port == Port::kLevelOne) {
        size_t start = 0;
        for (size_t nl; (nl = c->in.find('\n', start)) != std::string::npos; start = nl + 1) {
            HandleLevelOneLine(c, std::string_view(c->in).substr(start, nl - start));
        }
        c->in.erase(0, start);
    } else if (c->port == Port::kLookup) {
        ProduceLookup(c);  // takes the next request line when no reply is running
    }
    if (c->peerClosed && c->port != Port::kLookup) {
        m_log->Write("connection %d closed by the client", c->fd);
        Close(c);
    }
}

void CFeedServer::Produce(CConnection* c) {
    if (c->port == Port::kLookup) {
        ProduceLookup(c);
    } else if (c->port == Port::kLevelOne && m_options.fastest && !c->stopped) {
        ProduceLevelOne(c, false);
    }
}

bool CFeedServer::Flush(CConnection* c, bool* blocked) {
    const bool trickle = c->port == Port::kLookup && m_options.oneByte;
    while (c->Pending() > 0) {
        int64_t now = 0;
        if (trickle && (now = MonotonicMicros()) < c->nextByte) {
            *blocked = true;
            break;
        }
        const size_t size = trickle ? 1 : c->Pending();
        const ssize_t n = send(c->fd, c->out.data() + c->outPos, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                *blocked = true;
                break;
            }
            return false;
        }
        c->outPos += static_cast<size_t>(n);
        m_bytesSent += n;
        if (trickle) {
            c->nextByte = now + m_options.byteGapMicros;
        }
    }
    if (c->outPos == c->out.size()) {
        c->out.clear();
        c->outPos = 0;
    } else if (c->outPos > kHighWater) {
        c->out.erase(0, c->outPos);
        c->outPos = 0;
    }
    return true;
}

void CFeedServer::Service(CConnection* c) {
    const int64_t now = MonotonicMicros();
    if (c->nextStatus <= now) {
        SendAdminStatus(c);
    }
    if (c->nextUpdate <= now && OneMarket()) {
        if (!c->stopped) {
            ProduceTrades(c);
        }
        ScheduleTrades(c);
    } else if (c->nextUpdate <= now) {
        if (!c->stopped) {
            ProduceLevelOne(c, true);
        }
        const int64_t period = static_cast<int64_t>(1e6 / m_options.updateRate);
        c->nextUpdate += period;
        if (c->nextUpdate <= now) {
            c->nextUpdate = now + period;  // behind: skip rather than burst
        }
    }
    for (int round = 0; round < 4; ++round) {
        Produce(c);
        bool blocked = false;
        if (!Flush(c, &blocked)) {
            Close(c);
            return;
        }
        const bool moreWork =
            (c->port == Port::kLookup && c->reply) ||
            (c->port == Port::kLevelOne && m_options.fastest && !c->stopped && !c->streams.empty());
        if (blocked || !moreWork) {
            break;
        }
    }
    if (c->Pending() == 0 && (c->closeWhenFlushed || (c->peerClosed && !c->reply &&
                                                      c->in.find('\n') == std::string::npos))) {
        m_log->Write("connection %d closed", c->fd);
        Close(c);
        return;
    }
    UpdateInterest(c);
}

void CFeedServer::UpdateInterest(CConnection* c) {
    uint32_t want = c->peerClosed ? 0 : EPOLLIN | EPOLLRDHUP;
    const bool trickle = c->port == Port::kLookup && m_options.oneByte;
    const bool work =
        (c->port == Port::kLookup && c->reply && !c->stopped) ||
        (c->port == Port::kLevelOne && m_options.fastest && !c->stopped && !c->streams.empty());
    if (!trickle && (c->Pending() > 0 || work)) {
        want |= EPOLLOUT;
    }
    if (want != c->events) {
        epoll_event ev{};
        ev.events = want;
        ev.data.fd = c->fd;
        epoll_ctl(m_epoll, EPOLL_CTL_MOD, c->fd, &ev);
        c->events = want;
    }
}

void CFeedServer::Close(CConnection* c) {
    const int fd = c->fd;
    if (m_epoll >= 0) {
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    }
    close(fd);
    m_connections.erase(fd);
}

}  // namespace feedsim
