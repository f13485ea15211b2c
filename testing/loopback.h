// Helper servers on 127.0.0.1 for the tests and benchmarks: a listener whose
// accepted side the caller drives, and a one-connection server on its own
// thread. Every wait is bounded.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace orvella::testing {

inline sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

class CLoopbackListener {
  public:
    // Binds 127.0.0.1:port (0: a free port); listens unless listen is false
    // (a bound socket that refuses connects and keeps the port taken).
    explicit CLoopbackListener(uint16_t port = 0, bool listen = true);
    ~CLoopbackListener();
    CLoopbackListener(const CLoopbackListener&) = delete;
    CLoopbackListener& operator=(const CLoopbackListener&) = delete;

    // False when the port could not be bound or listened on.
    bool listening() const { return m_fd >= 0; }
    uint16_t port() const { return m_port; }
    int fd() const { return m_fd; }
    // Accepts one connection within timeoutMs; -1 when none came.
    int Accept(int timeoutMs = 5000);

  private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

// Takes one connection, records everything that arrives on it and sends what
// it is given. A script, when given, plays the server's side on a thread of
// its own once the client is connected (within ten seconds).
class CLoopbackServer {
  public:
    using Script = std::function<void(CLoopbackServer&)>;

    explicit CLoopbackServer(uint16_t port = 0, Script script = {});
    // Stops the script's waits, then closes every socket.
    ~CLoopbackServer();
    CLoopbackServer(const CLoopbackServer&) = delete;
    CLoopbackServer& operator=(const CLoopbackServer&) = delete;

    bool listening() const { return m_listener.listening(); }
    uint16_t port() const { return m_listener.port(); }

    // Waits up to timeoutMs for the client. True when it is connected.
    bool WaitAccepted(int timeoutMs);
    // Sends all bytes on the connection (waits for it first).
    void Send(const std::string& bytes);
    // Ends the connection from this side.
    void CloseConnection();
    // Everything received so far.
    std::string Received();
    // Waits up to timeoutMs until the received bytes contain text, or the
    // client has closed without it.
    bool WaitReceived(const std::string& text, int timeoutMs);
    // Waits up to timeoutMs for the client to close. True when it did.
    bool WaitClientClosed(int timeoutMs);
    // Waits ms milliseconds; false when the server is being destroyed.
    bool Pause(int ms);
    // Waits for the script to end.
    void Finish();

  private:
    void Run();

    CLoopbackListener m_listener;
    Script m_script;
    // -1 before the client came, -2 once its connection ended.
    int m_connection = -1;
    bool m_stop = false;
    bool m_closedHere = false;
    bool m_clientClosed = false;
    std::string m_received;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::thread m_thread;
    std::thread m_scriptThread;
};

// Sends all bytes on a blocking descriptor.
bool SendAll(int fd, const void* data, size_t size);
// Closes with a reset instead of a graceful close.
void ResetAndClose(int fd);
// True when something accepts connections on 127.0.0.1:port.
bool PortIsListening(uint16_t port);
// A port of 127.0.0.1 that was free a moment ago (nothing listens on it).
uint16_t UnusedPort();

}  // namespace orvella::testing
