// A one-connection TCP server on 127.0.0.1 for the login tests: it sends its
// chunks, then waits a while to see whether the client closes first.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace orvella::test {

class CLocalServer {
  public:
    // port 0 takes any free port. holdMs: how long to wait for the client to
    // close after the last chunk before closing itself.
    CLocalServer(uint16_t port, std::vector<std::string> chunks, int holdMs);
    ~CLocalServer();

    bool listening() const { return m_listener >= 0; }
    uint16_t port() const { return m_port; }
    // Waits for the server to finish; true when the client closed first.
    bool ClientClosedFirst();

  private:
    void Serve();

    std::vector<std::string> m_chunks;
    int m_holdMs;
    int m_listener = -1;
    uint16_t m_port = 0;
    bool m_clientClosedFirst = false;
    std::thread m_thread;
};

// True when something accepts connections on 127.0.0.1:port.
bool PortIsListening(uint16_t port);

// A port of 127.0.0.1 that was free a moment ago (nothing listens on it).
uint16_t UnusedPort();

}  // namespace orvella::test
