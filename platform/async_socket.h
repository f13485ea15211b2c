// Asynchronous and blocking IPv4 stream sockets bound to the thread that
// creates them.
//
// CAsyncSocket: its operations never wait. The outcome of a connect, the
// arrival of data and the peer's close come as notifications through the
// creating thread's message queue (message_queue.h) and run the virtual
// handlers when that thread dispatches them. A Win32 backend maps this onto
// WSAAsyncSelect. Errors are the platform's socket error numbers (below), the
// same on every build, so one error-text table serves all of them.
//
// CSocket: connect, send and receive wait for completion while dispatching the
// thread's other messages, so the notifications of other sockets keep running.
//
// Threads: everything runs on the creating thread, except that a zero-length
// Receive (the liveness probe) may be made from any thread at any time; it
// never touches a socket that was closed meanwhile (it then fails with
// kWsaNotSocket).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/platform_export.h"

namespace platform {

// Socket error numbers.
inline constexpr int kWsaFault = 10014;
inline constexpr int kWsaInvalidArgument = 10022;
inline constexpr int kWsaTooManyFiles = 10024;
inline constexpr int kWsaWouldBlock = 10035;
inline constexpr int kWsaInProgress = 10036;
inline constexpr int kWsaNotSocket = 10038;
inline constexpr int kWsaMessageSize = 10040;
inline constexpr int kWsaAddressInUse = 10048;
inline constexpr int kWsaAddressNotAvailable = 10049;
inline constexpr int kWsaNetworkDown = 10050;
inline constexpr int kWsaNetworkUnreachable = 10051;
inline constexpr int kWsaConnectionAborted = 10053;
inline constexpr int kWsaConnectionReset = 10054;
inline constexpr int kWsaNoBufferSpace = 10055;
inline constexpr int kWsaIsConnected = 10056;
inline constexpr int kWsaNotConnected = 10057;
inline constexpr int kWsaShutdown = 10058;
inline constexpr int kWsaTimedOut = 10060;
inline constexpr int kWsaConnectionRefused = 10061;
inline constexpr int kWsaNotInitialised = 10093;

// Notification selection bits for Create, and the event numbers carried by
// kSocketNotifyMessage.
inline constexpr unsigned kSocketEventRead = 0x01;
inline constexpr unsigned kSocketEventWrite = 0x02;
inline constexpr unsigned kSocketEventOob = 0x04;
inline constexpr unsigned kSocketEventAccept = 0x08;
inline constexpr unsigned kSocketEventConnect = 0x10;
inline constexpr unsigned kSocketEventClose = 0x20;
inline constexpr unsigned kSocketEventsAll = 0x3F;

// ShutDown directions.
inline constexpr int kShutdownReceive = 0;
inline constexpr int kShutdownSend = 1;
inline constexpr int kShutdownBoth = 2;

using SocketHandle = uintptr_t;
inline constexpr SocketHandle kInvalidSocket = ~SocketHandle{0};

// Initialises the socket layer of the process (idempotent). False when the
// layer cannot start; the last error then holds the cause.
PLATFORM_API bool InitSockets();

// The calling thread's last socket error number (0 for none).
PLATFORM_API int LastSocketError();
PLATFORM_API void SetLastSocketError(int code);

class PLATFORM_API CAsyncSocket {
public:
    CAsyncSocket();
    // Closes the socket if it is open.
    virtual ~CAsyncSocket();

    CAsyncSocket(const CAsyncSocket&) = delete;
    CAsyncSocket& operator=(const CAsyncSocket&) = delete;

    // Creates an IPv4 stream socket on any local port, non-blocking, bound to
    // the calling thread, with notifications for the selected events. False
    // (last error set) on failure or when already created.
    bool Create(unsigned events = kSocketEventsAll);

    // Socket options; true on success.
    bool SetReceiveBufferSize(int bytes);
    bool SetSendBufferSize(int bytes);
    bool SetDontLinger(bool dontLinger);

    // Starts a connect to address (dotted IPv4 text) and port. Returns true
    // when connected at once; otherwise false with the last error: kWsaWouldBlock
    // while the connect is under way (OnConnect follows, with 0 or the failure,
    // for example kWsaConnectionRefused), any other code for an immediate
    // failure.
    bool Connect(const char* address, uint16_t port);

    // Sends up to len bytes without waiting. Returns the count sent, or -1
    // with the last error (kWsaWouldBlock when the send buffer is full).
    int Send(const void* data, int len, int flags = 0);

    // Receives up to len bytes without waiting. Returns the count (> 0), 0
    // when the peer has closed and nothing is left, or -1 with the last
    // error (kWsaWouldBlock when nothing is there). A receive re-arms the
    // data-available notification: while data remains, another one follows.
    // With len 0 it never waits and never consumes data: 0 when data is
    // waiting, else -1 with kWsaWouldBlock on a healthy idle connection, or
    // with the code of the failure when the connection is reset, closed by the
    // peer (kWsaConnectionReset / kWsaShutdown) or this socket is closed
    // (kWsaNotSocket). Safe from any thread when len is 0.
    virtual int Receive(void* buffer, int len, int flags = 0);

    // Shuts down one or both directions (kShutdown*). True on success.
    bool ShutDown(int how = kShutdownSend);

    // Closes the socket (no-op when not open) and posts kSocketDeadMessage for
    // it to the owning thread. Pending notifications for it are dropped.
    virtual void Close();

    SocketHandle handle() const { return m_handle.load(); }

    // Dispatches a notification to the handlers; called by DispatchMessage.
    void DispatchNotification(unsigned event, int error);

protected:
    virtual void OnReceive(int error) {}
    virtual void OnSend(int error) {}
    virtual void OnOutOfBandData(int error) {}
    virtual void OnAccept(int error) {}
    virtual void OnConnect(int error) {}
    virtual void OnClose(int error) {}

private:
    friend class SocketRegistry;

    std::atomic<SocketHandle> m_handle{kInvalidSocket};
    // Guards m_handle against a concurrent zero-length probe while closing.
    std::mutex m_closeLock;
    // Backend state: the selected notifications, the owning thread's queue,
    // the connect phase. Used on the owning thread only.
    void* m_backend = nullptr;
};

// A socket whose connect, send and receive wait for completion while
// dispatching the calling thread's other messages. Its own notifications are
// still dispatched to its handlers.
class PLATFORM_API CSocket : public CAsyncSocket {
public:
    // Waits until connected or failed. True on success; false with the last
    // error (for example kWsaConnectionRefused).
    bool Connect(const char* address, uint16_t port);

    // Sends all len bytes, waiting as needed. Returns len, or -1 with the last
    // error.
    int Send(const void* data, int len, int flags = 0);

    // Waits until data is there (or the peer closes) and receives up to len
    // bytes. Returns the count, 0 at the peer's close, -1 with the last
    // error. With len 0 it behaves like CAsyncSocket::Receive.
    int Receive(void* buffer, int len, int flags = 0) override;
};

}  // namespace platform
