// The socket code that is the same on every backend: the dispatch of a
// notification to its handler and the blocking socket's send and receive
// loops, which wait through the backend's SocketRegistry::Wait.
#include "platform/async_socket.h"

#include "platform/socket_registry.h"

namespace platform {

namespace {

int FailCount(int code) {
    SetLastSocketError(code);
    return -1;
}

}  // namespace

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
            return FailCount(code);
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
            return FailCount(code);
        }
    }
}

}  // namespace platform
