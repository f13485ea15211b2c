// The socket code that is the same on every backend: the checks of every
// call, the closing under the probe's lock, the dispatch of a notification to
// its handler and the blocking socket's loops, which wait through the
// backend's SocketRegistry::Wait.
#include "platform/async_socket.h"

#include "platform/socket_registry.h"

namespace platform {

namespace {

// The result of a call whose hook gave 0 or a socket error.
bool Outcome(int code) {
    return code == 0 || FailSocketCall(code);
}

}  // namespace

int SocketRegistry::Probe(CAsyncSocket& socket) {
    std::lock_guard<std::mutex> guard(socket.m_closeLock);
    const SocketHandle handle = socket.m_handle.load();
    if (handle == kInvalidSocket) {
        return FailSocketCount(kWsaNotSocket);
    }
    const int code = Peek(socket, handle);
    return code == 0 ? 0 : FailSocketCount(code);
}

CAsyncSocket::CAsyncSocket() = default;

CAsyncSocket::~CAsyncSocket() {
    CAsyncSocket::Close();
}

bool CAsyncSocket::Create(unsigned events) {
    if (m_backend != nullptr) {
        return FailSocketCall(kWsaInvalidArgument);
    }
    return Outcome(SocketRegistry::Open(*this, events));
}

bool CAsyncSocket::SetReceiveBufferSize(int bytes) {
    const SocketHandle h = handle();
    return Outcome(h == kInvalidSocket ? kWsaNotSocket
                                       : SocketRegistry::SetBufferSize(h, true, bytes));
}

bool CAsyncSocket::SetSendBufferSize(int bytes) {
    const SocketHandle h = handle();
    return Outcome(h == kInvalidSocket ? kWsaNotSocket
                                       : SocketRegistry::SetBufferSize(h, false, bytes));
}

bool CAsyncSocket::SetDontLinger(bool dontLinger) {
    const SocketHandle h = handle();
    return Outcome(h == kInvalidSocket ? kWsaNotSocket
                                       : SocketRegistry::SetDontLinger(h, dontLinger));
}

int CAsyncSocket::Send(const void* data, int len, int flags) {
    if (m_backend == nullptr) {
        return FailSocketCount(kWsaNotSocket);
    }
    if (len < 0 || (data == nullptr && len > 0)) {
        return FailSocketCount(kWsaFault);
    }
    return SocketRegistry::SendSome(*this, data, len, flags);
}

int CAsyncSocket::Receive(void* buffer, int len, int flags) {
    if (len == 0) {
        return SocketRegistry::Probe(*this);
    }
    if (m_backend == nullptr) {
        return FailSocketCount(kWsaNotSocket);
    }
    if (len < 0 || buffer == nullptr) {
        return FailSocketCount(kWsaFault);
    }
    return SocketRegistry::ReceiveSome(*this, buffer, len, flags);
}

bool CAsyncSocket::ShutDown(int how) {
    const SocketHandle h = handle();
    if (h == kInvalidSocket) {
        return FailSocketCall(kWsaNotSocket);
    }
    if (how < kShutdownReceive || how > kShutdownBoth) {
        return FailSocketCall(kWsaInvalidArgument);
    }
    return Outcome(SocketRegistry::ShutDown(h, how));
}

void CAsyncSocket::Close() {
    SocketHandle h;
    void* backend;
    {
        // A probe on another thread holds this lock while it uses the
        // handle, so the handle is never reused under it.
        std::lock_guard<std::mutex> guard(m_closeLock);
        h = m_handle.exchange(kInvalidSocket);
        if (h == kInvalidSocket) {
            return;
        }
        backend = m_backend;
        m_backend = nullptr;
        SocketRegistry::CloseHandle(h, backend);
    }
    SocketRegistry::Release(h, backend);
}

void CAsyncSocket::DispatchNotification(unsigned event, int error) {
    switch (event) {
        case kSocketEventRead:
            OnReceive(error);
            break;
        case kSocketEventWrite:
            OnSend(error);
            break;
        case kSocketEventOob:
            OnOutOfBandData(error);
            break;
        case kSocketEventAccept:
            OnAccept(error);
            break;
        case kSocketEventConnect:
            OnConnect(error);
            break;
        case kSocketEventClose:
            OnClose(error);
            break;
        default:
            break;
    }
}

bool CSocket::Connect(const char* address, uint16_t port) {
    if (CAsyncSocket::Connect(address, port)) {
        return true;
    }
    if (LastSocketError() != kWsaWouldBlock) {
        return false;
    }
    int error = 0;
    return SocketRegistry::WaitConnected(*this, handle(), &error) || FailSocketCall(error);
}

int CSocket::Send(const void* data, int len, int flags) {
    if (len <= 0) {
        return CAsyncSocket::Send(data, len, flags);
    }
    const auto* bytes = static_cast<const char*>(data);
    int sent = 0;
    while (sent < len) {
        const int n = CAsyncSocket::Send(bytes + sent, len - sent, flags);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && LastSocketError() != kWsaWouldBlock) {
            return -1;
        }
        const int code = SocketRegistry::Wait(*this, true);
        if (code != 0) {
            return FailSocketCount(code);
        }
    }
    return len;
}

int CSocket::Receive(void* buffer, int len, int flags) {
    if (len == 0) {
        return CAsyncSocket::Receive(buffer, 0, flags);
    }
    for (;;) {
        const int n = CAsyncSocket::Receive(buffer, len, flags);
        if (n >= 0 || LastSocketError() != kWsaWouldBlock) {
            return n;
        }
        const int code = SocketRegistry::Wait(*this, false);
        if (code != 0) {
            return FailSocketCount(code);
        }
    }
}

}  // namespace platform
