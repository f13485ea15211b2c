#include "platform/async_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/message_queue.h"
#include "platform/posix/socket_error_map.h"
#include "platform/posix/thread_queue.h"
#include "platform/socket_registry.h"

namespace platform {

using posix::SocketErrorFromErrno;
using posix::SocketState;
using Phase = SocketState::Phase;

namespace {

thread_local int t_lastSocketError = 0;

// The handle carries a creation number above the descriptor, so a handle
// never names a later socket that reuses the descriptor.
std::atomic<uint32_t> g_nextGeneration{1};

int FdOf(SocketHandle handle) {
    return static_cast<int>(handle & 0xFFFFFFFFu);
}

// Connect failures the platform reports through the connect notification
// rather than from the call itself.
bool IsLateConnectFailure(int err) {
    return err == ECONNREFUSED || err == ETIMEDOUT || err == ENETUNREACH || err == EHOSTUNREACH ||
           err == ECONNRESET;
}

SocketState* StateOf(const CAsyncSocket& socket) {
    return static_cast<SocketState*>(SocketRegistry::Backend(socket));
}

}  // namespace

int SocketRegistry::Wait(CAsyncSocket& socket, bool write) {
    const short events = write ? POLLOUT : POLLIN;
    const SocketHandle handle = socket.handle();
    SocketState* state = StateOf(socket);
    if (handle == kInvalidSocket || state == nullptr) {
        return kWsaNotSocket;
    }
    posix::ThreadQueue* queue = state->queue.get();
    if (queue != posix::ThreadQueue::Current()) {
        // Not the owning thread: there are no messages of this socket to run
        // here, so wait on the descriptor alone.
        pollfd one{FdOf(handle), events, 0};
        if (poll(&one, 1, -1) < 0 && errno != EINTR) {
            return SocketErrorFromErrno(errno);
        }
        return 0;
    }
    short saved = 0;
    queue->WithLock([&] {
        saved = state->waitEvents;
        state->waitEvents = events;
        state->waitSatisfied = false;
    });
    Message msg;
    int result = 0;
    switch (queue->Take(&msg, -1, handle)) {
        case posix::TakeResult::kSocketReady:
        case posix::TakeResult::kTimeout:
            break;
        case posix::TakeResult::kMessage:
            DispatchMessage(msg);
            break;
        case posix::TakeResult::kQuit:
            // Leave the quit message for the thread's own loop.
            PostQuitMessage(static_cast<int>(msg.wparam));
            result = posix::kWsaInterrupted;
            break;
        case posix::TakeResult::kFailed:
            result = SocketErrorFromErrno(errno);
            break;
    }
    if (socket.handle() != handle) {
        return kWsaNotSocket;
    }
    queue->WithLock([&] { state->waitEvents = saved; });
    return result;
}

int SocketRegistry::Peek(CAsyncSocket& socket, SocketHandle handle) {
    char byte;
    const ssize_t n = recv(FdOf(handle), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
        return 0;
    }
    const int code = n == 0 ? kWsaShutdown : SocketErrorFromErrno(errno);
    // A reset already collected by the owner's queue is no longer in the
    // descriptor; report it as the platform would.
    SocketState* state = StateOf(socket);
    int pending = 0;
    state->queue->WithLock([&] { pending = state->pendingError; });
    return pending != 0 ? pending : code;
}

bool InitSockets() {
    // Sends pass MSG_NOSIGNAL, so the process's SIGPIPE handling stays as
    // the program set it; nothing else needs starting.
    return true;
}

int LastSocketError() {
    return t_lastSocketError;
}

void SetLastSocketError(int code) {
    t_lastSocketError = code;
}

int SocketRegistry::Open(CAsyncSocket& socket, unsigned events) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return SocketErrorFromErrno(errno);
    }
    auto* state = new SocketState;
    state->fd = fd;
    state->handle = (static_cast<SocketHandle>(g_nextGeneration.fetch_add(1)) << 32) |
                    static_cast<uint32_t>(fd);
    state->socket = &socket;
    state->events = events;
    state->queue = posix::ThreadQueue::CurrentShared();
    socket.m_backend = state;
    state->queue->Register(state);
    socket.m_handle.store(state->handle);
    return 0;
}

int SocketRegistry::SetBufferSize(SocketHandle handle, bool receive, int bytes) {
    return setsockopt(FdOf(handle), SOL_SOCKET, receive ? SO_RCVBUF : SO_SNDBUF, &bytes,
                      sizeof(bytes)) == 0
               ? 0
               : SocketErrorFromErrno(errno);
}

int SocketRegistry::SetDontLinger(SocketHandle handle, bool dontLinger) {
    // Lingering never turns a close into a reset here: with lingering on, a
    // close waits at most one second for the peer to take the unsent data.
    const linger value{dontLinger ? 0 : 1, dontLinger ? 0 : 1};
    return setsockopt(FdOf(handle), SOL_SOCKET, SO_LINGER, &value, sizeof(value)) == 0
               ? 0
               : SocketErrorFromErrno(errno);
}

bool CAsyncSocket::Connect(const char* address, uint16_t port) {
    auto* state = static_cast<SocketState*>(m_backend);
    if (state == nullptr) {
        return FailSocketCall(kWsaNotSocket);
    }
    if (state->phase == Phase::kConnecting) {
        return FailSocketCall(posix::kWsaAlready);
    }
    if (state->phase == Phase::kConnected) {
        return FailSocketCall(kWsaIsConnected);
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    if (address == nullptr || inet_pton(AF_INET, address, &peer.sin_addr) != 1) {
        return FailSocketCall(kWsaInvalidArgument);
    }
    if (connect(state->fd, reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) == 0) {
        state->queue->WithLock([&] { state->phase = Phase::kConnected; });
        state->queue->PostNotification(state, kSocketEventConnect, 0);
        return true;
    }
    const int err = errno;
    if (err == EINPROGRESS) {
        state->queue->WithLock([&] { state->phase = Phase::kConnecting; });
        return FailSocketCall(kWsaWouldBlock);
    }
    if (IsLateConnectFailure(err)) {
        // The platform reports "would block" and then the failure through
        // the connect notification, even when it is known at once.
        const int code = SocketErrorFromErrno(err);
        state->queue->WithLock([&] {
            state->phase = Phase::kFailed;
            state->connectError = code;
        });
        state->queue->PostNotification(state, kSocketEventConnect, code);
        return FailSocketCall(kWsaWouldBlock);
    }
    return FailSocketCall(SocketErrorFromErrno(err));
}

int SocketRegistry::SendSome(CAsyncSocket& socket, const void* data, int len, int flags) {
    SocketState* state = StateOf(socket);
    const ssize_t n = send(state->fd, data, static_cast<size_t>(len),
                           posix::NativeMessageFlags(flags) | MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
        return static_cast<int>(n);
    }
    const int code = SocketErrorFromErrno(errno);
    if (code == kWsaWouldBlock) {
        state->queue->WithLock([&] { state->writeArmed = true; });
    }
    return FailSocketCount(code);
}

int SocketRegistry::ReceiveSome(CAsyncSocket& socket, void* buffer, int len, int flags) {
    SocketState* state = StateOf(socket);
    const ssize_t n = recv(state->fd, buffer, static_cast<size_t>(len),
                           posix::NativeMessageFlags(flags) | MSG_DONTWAIT);
    const int err = errno;
    int pending = 0;
    state->queue->WithLock([&] {
        // One data notification per receive: the next one may come now.
        state->readArmed = true;
        if (n == 0 || (n < 0 && err == EAGAIN)) {
            pending = state->pendingError;
            state->pendingError = 0;
        }
    });
    if (n > 0) {
        return static_cast<int>(n);
    }
    if (pending != 0) {
        return FailSocketCount(pending);
    }
    if (n == 0) {
        return 0;
    }
    return FailSocketCount(SocketErrorFromErrno(err));
}

int SocketRegistry::ShutDown(SocketHandle handle, int how) {
    const int native = how == kShutdownReceive ? SHUT_RD
                       : how == kShutdownSend  ? SHUT_WR
                                               : SHUT_RDWR;
    return shutdown(FdOf(handle), native) == 0 ? 0 : SocketErrorFromErrno(errno);
}

void SocketRegistry::CloseHandle(SocketHandle handle, void* backend) {
    static_cast<SocketState*>(backend)->queue->Unregister(handle);
    close(FdOf(handle));
}

void SocketRegistry::Release(SocketHandle handle, void* backend) {
    auto* state = static_cast<SocketState*>(backend);
    state->queue->Post(kSocketDeadMessage, handle, 0);
    delete state;
}

bool SocketRegistry::WaitConnected(CAsyncSocket& socket, SocketHandle handle, int* error) {
    for (;;) {
        SocketState* state = StateOf(socket);
        Phase phase = Phase::kCreated;
        state->queue->WithLock([&] {
            phase = state->phase;
            *error = state->connectError;
        });
        if (phase == Phase::kConnected) {
            return true;
        }
        if (phase == Phase::kFailed) {
            return false;
        }
        *error = Wait(socket, true);
        if (*error != 0) {
            return false;
        }
        if (socket.handle() != handle) {
            *error = kWsaNotSocket;
            return false;
        }
    }
}

}  // namespace platform
