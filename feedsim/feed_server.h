// The stand-in feed's TCP server: one thread, one epoll loop, serving the
// admin, lookup and level-one ports on 127.0.0.1 to any number of clients.
// The transport (sockets, the loop, flushing, the fault modes' port drops)
// is feed_server.cc; each protocol has its own file (feed_lookup.cc,
// feed_level_one.cc, feed_admin.cc).
//
// Memory is bounded per connection: replies and update streams are produced
// only while a connection's unsent output is below a high-water mark, so a
// client that stops reading stops the generation for itself (timed level-one
// updates that find the output full are dropped, not queued).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "feedsim/feed_clock.h"
#include "feedsim/history_reply.h"
#include "feedsim/serve_log.h"
#include "feedsim/sim_options.h"

namespace feedsim {

class CFeedServer {
  public:
    // options must outlive the server; ports of -1 must have been resolved.
    CFeedServer(const CSimOptions& options, CServeLog* log);
    ~CFeedServer();
    CFeedServer(const CFeedServer&) = delete;
    CFeedServer& operator=(const CFeedServer&) = delete;

    // Creates the listening sockets of the ports that are to be served.
    // False with a message when one cannot be bound.
    bool Listen(std::string* error);

    // The bound ports (the chosen one when 0 was asked for), -1 when the
    // port is not served.
    int LookupPort() const { return m_lookupPort; }
    int Level1Port() const { return m_level1Port; }
    int AdminPort() const { return m_adminPort; }

    // Serves until stopFd becomes readable (a signalfd or a pipe) with
    // anything but SIGUSR1 (every level-one connection is closed and the
    // level-one port stops listening) or SIGUSR2 (it listens again). Returns
    // false when the event loop itself fails.
    bool Run(int stopFd);

  private:
    struct CConnection;
    enum class Port { kLookup, kLevelOne, kAdmin };

    void Accept(int listenFd, Port port);
    void OnReadable(CConnection* c);
    void HandleLookupLine(CConnection* c, std::string_view line);
    void HandleLevelOneLine(CConnection* c, std::string_view line);
    void Service(CConnection* c);
    void Produce(CConnection* c);
    void ProduceLookup(CConnection* c);
    void ProduceLevelOne(CConnection* c, bool timed);
    // One market: the trades whose time has come, and the wake-up for the
    // next one.
    void ProduceTrades(CConnection* c);
    void ScheduleTrades(CConnection* c);
    // Makes the heap of next trades anew from every stream (after an unwatch).
    void RebuildDue(CConnection* c);
    // The level-one port streams the market's trades (not a synthetic walk
    // of its own, as at the maximum rate or with numbered trades).
    bool OneMarket() const { return !m_options.fastest && !m_options.numberedTrades; }
    bool AppendLevelOneLine(CConnection* c);
    bool Flush(CConnection* c, bool* blocked);
    void SendAdminStatus(CConnection* c);
    void UpdateInterest(CConnection* c);
    void Close(CConnection* c);
    int64_t NextDue() const;
    bool LoginDone(int64_t nowMicros) const;
    // Handles a signal read from the signalfd; false when it means stop.
    bool OnSignal(int signalFd);
    void DropLevelOne();
    void RestoreLevelOne();
    // Closes the port's connections and stops listening on it; listens on
    // the same port again.
    void DropPort(Port port, int* listenFd, int boundPort, const char* name);
    void RestorePort(int* listenFd, int boundPort, const char* name);

    const CSimOptions& m_options;
    CServeLog* m_log;
    CFeedClock m_clock;
    CReplySettings m_replySettings;
    int m_epoll = -1;
    int m_lookupListen = -1, m_level1Listen = -1, m_adminListen = -1;
    int m_lookupPort = -1, m_level1Port = -1, m_adminPort = -1;
    // When the dropped lookup port listens again (--lookup-lag).
    int64_t m_lookupRestoreAt = -1;
    int64_t m_startMicros;
    CivilSeconds m_startCivil;
    size_t m_maxConnections;
    int64_t m_bytesSent = 0;
    std::unordered_map<int, std::unique_ptr<CConnection>> m_connections;
};

}  // namespace feedsim
