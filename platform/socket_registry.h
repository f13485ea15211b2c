// The backends' access to a socket's internals, shared by each backend and
// the portable socket code (common/async_socket.cc), which checks the
// arguments and the socket's state and leaves the system calls to the hooks
// below. Not for users.
#pragma once

#include "platform/async_socket.h"

namespace platform {

// The failure results of the socket calls, with the last error set.
inline bool FailSocketCall(int code) {
    SetLastSocketError(code);
    return false;
}
inline int FailSocketCount(int code) {
    SetLastSocketError(code);
    return -1;
}

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

    // The backend hooks. Unless said otherwise each returns 0 or the socket
    // error number, runs on the owning thread and is given a created socket
    // and checked arguments.

    // Creates the system's socket with its state, bound to the calling
    // thread, and stores both in socket.
    static int Open(CAsyncSocket& socket, unsigned events);
    // The receive (receive true) or send buffer's size in bytes, and whether
    // a close returns at once.
    static int SetBufferSize(SocketHandle handle, bool receive, int bytes);
    static int SetDontLinger(SocketHandle handle, bool dontLinger);
    // One send or receive without waiting: the count, or -1 with the last
    // error (see CAsyncSocket).
    static int SendSome(CAsyncSocket& socket, const void* data, int len, int flags);
    static int ReceiveSome(CAsyncSocket& socket, void* buffer, int len, int flags);
    // Whether data waits on the open handle, without taking it: 0 when it
    // does, else the reason why not. Any thread, under the close lock.
    static int Peek(CAsyncSocket& socket, SocketHandle handle);
    // how is one of the kShutdown directions.
    static int ShutDown(SocketHandle handle, int how);
    // Closing, in two steps: the system's handle under the close lock, then
    // the state, with the dead-socket message posted to the owner.
    static void CloseHandle(SocketHandle handle, void* backend);
    static void Release(SocketHandle handle, void* backend);
    // After a connect that would block: waits for its outcome, dispatching
    // the thread's messages. True when connected; else false with *error.
    static bool WaitConnected(CAsyncSocket& socket, SocketHandle handle, int* error);
};

}  // namespace platform
