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

bool Fail(int code) {
    SetLastSocketError(code);
    return false;
}

int FailCount(int code) {
    SetLastSocketError(code);
    return -1;
}

SOCKET Native(SocketHandle handle) {
    return static_cast<SOCKET>(handle);
}

bool SetIntOption(SocketHandle handle, int option, int value) {
    if (handle == kInvalidSocket) {
        return Fail(kWsaNotSocket);
    }
    if (setsockopt(Native(handle), SOL_SOCKET, option, reinterpret_cast<const char*>(&value),
                   sizeof(value)) != 0) {
        return Fail(WSAGetLastError());
    }
    return true;
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

int SocketRegistry::Probe(CAsyncSocket& socket) {
    std::lock_guard<std::mutex> guard(socket.m_closeLock);
    const SocketHandle handle = socket.m_handle.load();
    if (handle == kInvalidSocket) {
        return FailCount(kWsaNotSocket);
    }
    char byte;
    const int n = recv(Native(handle), &byte, 1, MSG_PEEK);
    if (n > 0) {
        return 0;
    }
    return FailCount(n == 0 ? kWsaShutdown : WSAGetLastError());
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

CAsyncSocket::CAsyncSocket() = default;

CAsyncSocket::~CAsyncSocket() {
    CAsyncSocket::Close();
}

bool CAsyncSocket::Create(unsigned events) {
    if (m_backend != nullptr) {
        return Fail(kWsaInvalidArgument);
    }
    win32::ThreadWindow* window = win32::CurrentWindow();
    if (window == nullptr) {
        return Fail(kWsaNoBufferSpace);
    }
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        return Fail(WSAGetLastError());
    }
    // Every event is selected, so that the blocking calls learn the outcome
    // of a connect; the owner's handlers see only the events it chose.
    if (WSAAsyncSelect(s, window->hwnd, kSocketNotifyMessage, kSocketEventsAll) != 0) {
        const int error = WSAGetLastError();
        closesocket(s);
        return Fail(error);
    }
    auto* state = new SocketState;
    state->window = window;
    state->events = events;
    m_backend = state;
    window->sockets[s] = this;
    m_handle.store(static_cast<SocketHandle>(s));
    return true;
}

bool CAsyncSocket::SetReceiveBufferSize(int bytes) {
    return SetIntOption(handle(), SO_RCVBUF, bytes);
}

bool CAsyncSocket::SetSendBufferSize(int bytes) {
    return SetIntOption(handle(), SO_SNDBUF, bytes);
}

bool CAsyncSocket::SetDontLinger(bool dontLinger) {
    const SocketHandle h = handle();
    if (h == kInvalidSocket) {
        return Fail(kWsaNotSocket);
    }
    const BOOL value = dontLinger ? TRUE : FALSE;
    if (setsockopt(Native(h), SOL_SOCKET, SO_DONTLINGER, reinterpret_cast<const char*>(&value),
                   sizeof(value)) != 0) {
        return Fail(WSAGetLastError());
    }
    return true;
}

bool CAsyncSocket::Connect(const char* address, uint16_t port) {
    auto* state = static_cast<SocketState*>(m_backend);
    if (state == nullptr) {
        return Fail(kWsaNotSocket);
    }
    if (state->phase == SocketState::Phase::kConnecting) {
        return Fail(WSAEALREADY);
    }
    if (state->phase == SocketState::Phase::kConnected) {
        return Fail(kWsaIsConnected);
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    if (address == nullptr || inet_pton(AF_INET, address, &peer.sin_addr) != 1) {
        return Fail(kWsaInvalidArgument);
    }
    if (connect(Native(handle()), reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) == 0) {
        state->phase = SocketState::Phase::kConnected;
        return true;
    }
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
        state->phase = SocketState::Phase::kConnecting;
    }
    return Fail(error);
}

int CAsyncSocket::Send(const void* data, int len, int flags) {
    if (m_backend == nullptr) {
        return FailCount(kWsaNotSocket);
    }
    if (len < 0 || (data == nullptr && len > 0)) {
        return FailCount(kWsaFault);
    }
    const int n = send(Native(handle()), static_cast<const char*>(data), len, flags);
    return n >= 0 ? n : FailCount(WSAGetLastError());
}

int CAsyncSocket::Receive(void* buffer, int len, int flags) {
    if (len == 0) {
        return SocketRegistry::Probe(*this);
    }
    if (m_backend == nullptr) {
        return FailCount(kWsaNotSocket);
    }
    if (len < 0 || buffer == nullptr) {
        return FailCount(kWsaFault);
    }
    const int n = recv(Native(handle()), static_cast<char*>(buffer), len, flags);
    return n >= 0 ? n : FailCount(WSAGetLastError());
}

bool CAsyncSocket::ShutDown(int how) {
    const SocketHandle h = handle();
    if (h == kInvalidSocket) {
        return Fail(kWsaNotSocket);
    }
    if (how < kShutdownReceive || how > kShutdownBoth) {
        return Fail(kWsaInvalidArgument);
    }
    // The directions have the system's numbers.
    if (shutdown(Native(h), how) != 0) {
        return Fail(WSAGetLastError());
    }
    return true;
}

void CAsyncSocket::Close() {
    SocketState* state;
    SocketHandle h;
    {
        // A probe on another thread holds this lock while it uses the
        // handle, so the handle is never reused under it.
        std::lock_guard<std::mutex> guard(m_closeLock);
        h = m_handle.exchange(kInvalidSocket);
        if (h == kInvalidSocket) {
            return;
        }
        state = static_cast<SocketState*>(m_backend);
        m_backend = nullptr;
        closesocket(Native(h));
    }
    win32::ThreadWindow* window = state->window;
    window->sockets.erase(Native(h));
    ++window->dead[Native(h)];
    PostMessageW(window->hwnd, kSocketDeadMessage, static_cast<WPARAM>(h), 0);
    delete state;
}

bool CSocket::Connect(const char* address, uint16_t port) {
    if (CAsyncSocket::Connect(address, port)) {
        return true;
    }
    if (LastSocketError() != kWsaWouldBlock) {
        return false;
    }
    const SocketHandle h = handle();
    for (;;) {
        const SocketState* state = StateOf(*this);
        if (state == nullptr || handle() != h) {
            return Fail(kWsaNotSocket);
        }
        if (state->phase == SocketState::Phase::kConnected) {
            return true;
        }
        if (state->phase == SocketState::Phase::kFailed) {
            return Fail(state->connectError);
        }
        // The outcome arrives as the connect notification.
        Message msg;
        switch (WaitMessage(&msg, -1)) {
            case WaitResult::kMessage:
                DispatchMessage(msg);
                break;
            case WaitResult::kQuit:
                PostQuitMessage(static_cast<int>(msg.wparam));
                return Fail(WSAEINTR);
            case WaitResult::kTimeout:
            case WaitResult::kFailed:
                return Fail(WSAEINTR);
        }
    }
}

}  // namespace platform
