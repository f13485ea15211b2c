// The backends' access to a socket's internals, shared by each backend and
// the portable socket code (common/async_socket.cc). Not for users.
#pragma once

#include "platform/async_socket.h"

namespace platform {

class SocketRegistry {
  public:
    // The backend's state of the socket (null when not created).
    static void* Backend(const CAsyncSocket& socket) { return socket.m_backend; }

    // Waits until the socket is ready (writable with write, else readable or
    // failed) or a message of the owning thread has been dispatched, so the
    // caller retries its operation. 0, or the socket error that ends the wait
    // (the socket closed meanwhile, a quit message, a failed wait).
    static int Wait(CAsyncSocket& socket, bool write);

    // The zero-length receive: see CAsyncSocket::Receive. Any thread.
    static int Probe(CAsyncSocket& socket);
};

}  // namespace platform
