// The Winsock calls of the loopback helpers.
#include <winsock2.h>

#include "testing/loopback.h"
#include "testing/loopback_address.h"

namespace orvella::testing {

namespace {

// Winsock starts once per process, before the first socket.
void StartSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

SOCKET Native(int fd) {
    return static_cast<SOCKET>(fd);
}

int Handle(SOCKET socket) {
    return socket == INVALID_SOCKET ? -1 : static_cast<int>(socket);
}

}  // namespace

int OpenLoopbackSocket(uint16_t port, bool listen, uint16_t* boundPort) {
    StartSockets();
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
        return -1;
    }
    sockaddr_in address = LoopbackAddress(port);
    int size = sizeof(address);
    if (bind(socket, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        (listen && ::listen(socket, 16) != 0) ||
        getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        closesocket(socket);
        return -1;
    }
    *boundPort = ntohs(address.sin_port);
    return Handle(socket);
}

int ConnectLoopback(uint16_t port) {
    StartSockets();
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const sockaddr_in address = LoopbackAddress(port);
    if (socket != INVALID_SOCKET &&
        connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        closesocket(socket);
        return -1;
    }
    return Handle(socket);
}

bool WaitReadable(int fd, int timeoutMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Native(fd), &readable);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &limit) == 1;
}

int AcceptSocket(int listener) {
    return Handle(accept(Native(listener), nullptr, nullptr));
}

long ReceiveSome(int fd, char* buffer, size_t size) {
    return recv(Native(fd), buffer, static_cast<int>(size), 0);
}

long SendSome(int fd, const char* data, size_t size) {
    return send(Native(fd), data, static_cast<int>(size), 0);
}

void ShutdownSocket(int fd) {
    shutdown(Native(fd), SD_BOTH);
}

void CloseSocket(int fd) {
    closesocket(Native(fd));
}

void ResetAndClose(int fd) {
    linger value{1, 0};
    setsockopt(Native(fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&value),
               sizeof(value));
    closesocket(Native(fd));
}

}  // namespace orvella::testing
