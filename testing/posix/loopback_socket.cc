// The POSIX socket calls of the loopback helpers.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "testing/loopback.h"
#include "testing/loopback_address.h"

namespace orvella::testing {

int OpenLoopbackSocket(uint16_t port, bool listen, uint16_t* boundPort) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (port != 0) {
        // A fixed port may still be in TIME_WAIT from the test before.
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    }
    sockaddr_in address = LoopbackAddress(port);
    socklen_t size = sizeof(address);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        (listen && ::listen(fd, 16) != 0) ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        close(fd);
        return -1;
    }
    *boundPort = ntohs(address.sin_port);
    return fd;
}

int ConnectLoopback(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = LoopbackAddress(port);
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool WaitReadable(int fd, int timeoutMs) {
    pollfd one{fd, POLLIN, 0};
    return poll(&one, 1, timeoutMs) == 1;
}

int AcceptSocket(int listener) {
    return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

long ReceiveSome(int fd, char* buffer, size_t size) {
    return static_cast<long>(recv(fd, buffer, size, 0));
}

long SendSome(int fd, const char* data, size_t size) {
    return static_cast<long>(send(fd, data, size, MSG_NOSIGNAL));
}

void ShutdownSocket(int fd) {
    shutdown(fd, SHUT_RDWR);
}

void CloseSocket(int fd) {
    close(fd);
}

void ResetAndClose(int fd) {
    linger value{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &value, sizeof(value));
    close(fd);
}

}  // namespace orvella::testing
