// Helper servers on 127.0.0.1 for the tests and benchmarks: a listener whose
// accepted side the caller drives, and a one-connection server on its own
// thread. Every wait is bounded. They build for every system: the system's
// own socket calls sit in testing/posix/ and testing/win32/ (chosen by
// CMake), so the platform's sockets are tested against the system's.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace orvella::testing {

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

// The system's socket calls on the sockets above. A socket is an int on every
// system (-1: none); a Winsock handle has 32 significant bits.

// A socket bound to 127.0.0.1:port (0: a free port, stored in *boundPort),
// listening unless listen is false; -1 on failure.
int OpenLoopbackSocket(uint16_t port, bool listen, uint16_t* boundPort);
// A blocking socket connected to 127.0.0.1:port; -1 when nothing accepts.
int ConnectLoopback(uint16_t port);
// True when the socket has data, an end or a connection within timeoutMs.
bool WaitReadable(int fd, int timeoutMs);
// The next waiting connection of a listening socket; -1 on failure.
int AcceptSocket(int listener);
// Bytes received, 0 at the end, negative on error.
long ReceiveSome(int fd, char* buffer, size_t size);
// Bytes sent (never raises a signal), negative on error.
long SendSome(int fd, const char* data, size_t size);
// Sends all bytes on a blocking socket.
bool SendAll(int fd, const void* data, size_t size);
// Receives exactly size bytes on a blocking socket; false at an early end.
bool ReceiveAll(int fd, void* data, size_t size);
// Ends both directions; the socket stays open.
void ShutdownSocket(int fd);
void CloseSocket(int fd);
// Closes with a reset instead of a graceful close.
void ResetAndClose(int fd);
// True when something accepts connections on 127.0.0.1:port.
bool PortIsListening(uint16_t port);
// A port of 127.0.0.1 that was free a moment ago (nothing listens on it).
uint16_t UnusedPort();

}  // namespace orvella::testing
