// A stand-in for the feed client's level-one port in tests: listens on
// 127.0.0.1 (a free port), accepts one connection, records what arrives and
// sends what the test asks for. Runs its own thread; every wait is bounded.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace orvella {

class CLoopbackFeed {
  public:
    CLoopbackFeed();
    ~CLoopbackFeed();

    uint16_t port() const { return m_port; }

    // Waits up to timeoutMs for the plug-in's connection. True when accepted.
    bool WaitAccepted(int timeoutMs);
    // Sends the bytes on the accepted connection (waits for it first).
    void Send(const std::string& bytes);
    // Closes the accepted connection.
    void CloseConnection();
    // Everything received so far.
    std::string Received();
    // Waits up to timeoutMs until the received bytes contain text.
    bool WaitReceived(const std::string& text, int timeoutMs);

  private:
    void Run();

    int m_listener = -1;
    int m_connection = -1;
    uint16_t m_port = 0;
    bool m_stop = false;
    std::string m_received;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::thread m_thread;
};

}  // namespace orvella
