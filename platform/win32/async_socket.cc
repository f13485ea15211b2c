// Sockets of the system's socket layer. Notifications come through
// WSAAsyncSelect to the owning thread's message-only window; the error
// numbers are the system's own.
#include "platform/async_socket.h"

#include <mutex>

#include "platform/socket_registry.h"
#include "platform/win32/thread_window.h"
#include "platform/win32/win32_api.h"

namespace platform {

namespace {

struct SocketState {
    enum class Phase { kCreated, kConnecting, kConnected, kFailed };

    win32::ThreadWindow* window = nullptr;
    unsigned events = 0;  // the notifications the owner selected
    Phase phase = Phase::kCreated;
    int connectError = 0;
};

// How often a blocking call looks at its socket while no message arrives.
constexpr DWORD kBlockingPollMs = 10;

SOCKET Native(SocketHandle handle) {
    return static_cast<SOCKET>(handle);
}

SocketState* StateOf(const CAsyncSocket& socket) {
    return static_cast<SocketState*>(SocketRegistry::Backend(socket));
}

}  // namespace

int SocketRegistry::Wait(CAsyncSocket& socket, bool write) {
    const SocketHandle handle = socket.handle();
    if (handle == kInvalidSocket) {
        return kWsaNotSocket;
    }
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(Native(handle), &ready);
    fd_set failed = ready;
    timeval none{0, 0};
    if (select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &none) > 0) {
        return 0;
    }
    Message msg;
    switch (WaitMessage(&msg, static_cast<int>(kBlockingPollMs))) {
        case WaitResult::kMessage:
            DispatchMessage(msg);
            break;
        case WaitResult::kQuit:
            // Leave the quit message for the thread's own loop.
            PostQuitMessage(static_cast<int>(msg.wparam));
            return WSAEINTR;
        case WaitResult::kTimeout:
            break;
        case WaitResult::kFailed:
            return static_cast<int>(GetLastError());
    }
    return socket.handle() == handle ? 0 : kWsaNotSocket;
}

int SocketRegistry::Peek(CAsyncSocket&, SocketHandle handle) {
    char byte;
    const int n = recv(Native(handle), &byte, 1, MSG_PEEK);
    if (n > 0) {
        return 0;
    }
    return n == 0 ? kWsaShutdown : WSAGetLastError();
}

bool InitSockets() {
    static const int started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data);
    }();
    if (started != 0) {
        SetLastSocketError(started);
        return false;
    }
    return true;
}

int LastSocketError() {
    return WSAGetLastError();
}

void SetLastSocketError(int code) {
    WSASetLastError(code);
}

namespace win32 {

void DeliverNotification(CAsyncSocket* socket, unsigned event, int error) {
    SocketState* state = StateOf(*socket);
    if (state == nullptr) {
        return;
    }
    if (event == kSocketEventConnect) {
        state->phase = error == 0 ? SocketState::Phase::kConnected : SocketState::Phase::kFailed;
        state->connectError = error;
    }
    if ((state->events & event) != 0) {
        socket->DispatchNotification(event, error);
    }
}

}  // namespace win32

int SocketRegistry::Open(CAsyncSocket& socket, unsigned events) {
    win32::ThreadWindow* window = win32::CurrentWindow();
    if (window == nullptr) {
        return kWsaNoBufferSpace;
    }
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        return WSAGetLastError();
    }
    // Every event is selected, so that the blocking calls learn the outcome
    // of a connect; the owner's handlers see only the events it chose.
    if (WSAAsyncSelect(s, window->hwnd, kSocketNotifyMessage, kSocketEventsAll) != 0) {
        const int error = WSAGetLastError();
        closesocket(s);
        return error;
    }
    auto* state = new SocketState;
    state->window = window;
    state->events = events;
    socket.m_backend = state;
    window->sockets[s] = &socket;
    socket.m_handle.store(static_cast<SocketHandle>(s));
    return 0;
}

int SocketRegistry::SetBufferSize(SocketHandle handle, bool receive, int bytes) {
    return setsockopt(Native(handle), SOL_SOCKET, receive ? SO_RCVBUF : SO_SNDBUF,
                      reinterpret_cast<const char*>(&bytes), sizeof(bytes)) == 0
               ? 0
               : WSAGetLastError();
}

int SocketRegistry::SetDontLinger(SocketHandle handle, bool dontLinger) {
    const BOOL value = dontLinger ? TRUE : FALSE;
    return setsockopt(Native(handle), SOL_SOCKET, SO_DONTLINGER,
                      reinterpret_cast<const char*>(&value), sizeof(value)) == 0
               ? 0
               : WSAGetLastError();
}

bool CAsyncSocket::Connect(const char* address, uint16_t port) {
    auto* state = static_cast<SocketState*>(m_backend);
    if (state == nullptr) {
        return FailSocketCall(kWsaNotSocket);
    }
    if (state->phase == SocketState::Phase::kConnecting) {
        return FailSocketCall(WSAEALREADY);
    }
    if (state->phase == SocketState::Phase::kConnected) {
        return FailSocketCall(kWsaIsConnected);
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    if (address == nullptr || inet_pton(AF_INET, address, &peer.sin_addr) != 1) {
        return FailSocketCall(kWsaInvalidArgument);
    }
    if (connect(Native(handle()), reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) == 0) {
        state->phase = SocketState::Phase::kConnected;
        return true;
    }
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
        state->phase = SocketState::Phase::kConnecting;
    }
    return FailSocketCall(error);
}

int SocketRegistry::SendSome(CAsyncSocket& socket, const void* data, int len, int flags) {
    const int n = send(Native(socket.handle()), static_cast<const char*>(data), len, flags);
    return n >= 0 ? n : FailSocketCount(WSAGetLastError());
}

int SocketRegistry::ReceiveSome(CAsyncSocket& socket, void* buffer, int len, int flags) {
    const int n = recv(Native(socket.handle()), static_cast<char*>(buffer), len, flags);
    return n >= 0 ? n : FailSocketCount(WSAGetLastError());
}

int SocketRegistry::ShutDown(SocketHandle handle, int how) {
    // The directions have the system's numbers.
    return shutdown(Native(handle), how) == 0 ? 0 : WSAGetLastError();
}

void SocketRegistry::CloseHandle(SocketHandle handle, void*) {
    closesocket(Native(handle));
}

void SocketRegistry::Release(SocketHandle handle, void* backend) {
    auto* state = static_cast<SocketState*>(backend);
    win32::ThreadWindow* window = state->window;
    window->sockets.erase(Native(handle));
    ++window->dead[Native(handle)];
    PostMessageW(window->hwnd, kSocketDeadMessage, static_cast<WPARAM>(handle), 0);
    delete state;
}

bool SocketRegistry::WaitConnected(CAsyncSocket& socket, SocketHandle handle, int* error) {
    for (;;) {
        const SocketState* state = StateOf(socket);
        if (state == nullptr || socket.handle() != handle) {
            *error = kWsaNotSocket;
            return false;
        }
        if (state->phase == SocketState::Phase::kConnected) {
            return true;
        }
        if (state->phase == SocketState::Phase::kFailed) {
            *error = state->connectError;
            return false;
        }
        // The outcome arrives as the connect notification.
        Message msg;
        switch (WaitMessage(&msg, -1)) {
            case WaitResult::kMessage:
                DispatchMessage(msg);
                break;
            case WaitResult::kQuit:
                PostQuitMessage(static_cast<int>(msg.wparam));
                *error = WSAEINTR;
                return false;
            case WaitResult::kTimeout:
            case WaitResult::kFailed:
                *error = WSAEINTR;
                return false;
        }
    }
}

}  // namespace platform
