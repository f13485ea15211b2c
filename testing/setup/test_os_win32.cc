#include <windows.h>
#include <winsock2.h>

#include <initializer_list>

#include "testing/setup/test_os.h"

namespace orvella::test {

namespace {

// Winsock starts once per process, before the first socket.
void StartSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

SOCKET Native(TestSocket socket) {
    return static_cast<SOCKET>(socket);
}

}  // namespace

TestSocket ListenOnLoopback(int* port) {
    StartSockets();
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    int length = sizeof(address);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    ::listen(listener, 16);
    return static_cast<TestSocket>(listener);
}

bool WaitReadable(TestSocket socket, int timeoutMs) {
    WSAPOLLFD waiting{Native(socket), POLLRDNORM, 0};
    return ::WSAPoll(&waiting, 1, timeoutMs) > 0;
}

TestSocket AcceptConnection(TestSocket listener) {
    const SOCKET connection = ::accept(Native(listener), nullptr, nullptr);
    return connection == INVALID_SOCKET ? kNoSocket : static_cast<TestSocket>(connection);
}

long ReceiveSome(TestSocket socket, char* buffer, size_t size) {
    return ::recv(Native(socket), buffer, static_cast<int>(size), 0);
}

bool SendAll(TestSocket socket, const char* data, size_t size) {
    while (size > 0) {
        const int sent = ::send(Native(socket), data, static_cast<int>(size), 0);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

void CloseSocket(TestSocket socket) {
    ::shutdown(Native(socket), SD_BOTH);
    ::closesocket(Native(socket));
}

void ClearProxyEnvironment() {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        SetEnvironmentVariableA(name, nullptr);
}

int CurrentProcessId() {
    return static_cast<int>(GetCurrentProcessId());
}

// The C runtime's limit is not the system's; the cases that need one are
// the POSIX build's.
COpenFileLimit::COpenFileLimit(int) {}

COpenFileLimit::~COpenFileLimit() = default;

}  // namespace orvella::test
