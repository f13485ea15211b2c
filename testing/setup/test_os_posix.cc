#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <iterator>

#include "testing/setup/test_os.h"

namespace orvella::test {

TestSocket ListenOnLoopback(int* port) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    socklen_t length = sizeof(address);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    ::listen(listener, 16);
    return listener;
}

bool WaitReadable(TestSocket socket, int timeoutMs) {
    pollfd waiting{static_cast<int>(socket), POLLIN, 0};
    return ::poll(&waiting, 1, timeoutMs) > 0;
}

TestSocket AcceptConnection(TestSocket listener) {
    const int connection = ::accept(static_cast<int>(listener), nullptr, nullptr);
    return connection < 0 ? kNoSocket : connection;
}

long ReceiveSome(TestSocket socket, char* buffer, size_t size) {
    return static_cast<long>(::recv(static_cast<int>(socket), buffer, size, 0));
}

bool SendAll(TestSocket socket, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(static_cast<int>(socket), data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

void CloseSocket(TestSocket socket) {
    ::shutdown(static_cast<int>(socket), SHUT_RDWR);
    ::close(static_cast<int>(socket));
}

void ClearProxyEnvironment() {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        ::unsetenv(name);
}

int CurrentProcessId() {
    return static_cast<int>(::getpid());
}

COpenFileLimit::COpenFileLimit(int freeFiles) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    m_saved = limit.rlim_cur;
    limit.rlim_cur = std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                   std::filesystem::directory_iterator()) +
                     freeFiles;
    m_supported = ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

COpenFileLimit::~COpenFileLimit() {
    if (!m_supported)
        return;
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = m_saved;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace orvella::test
