// The setup tests' sockets: the loopback helpers' system calls.
#include "testing/setup/test_os.h"

#include "testing/loopback.h"

namespace orvella::test {

TestSocket ListenOnLoopback(int* port) {
    uint16_t bound = 0;
    const int fd = testing::OpenLoopbackSocket(0, true, &bound);
    *port = bound;
    return fd;
}

bool WaitReadable(TestSocket socket, int timeoutMs) {
    return testing::WaitReadable(static_cast<int>(socket), timeoutMs);
}

TestSocket AcceptConnection(TestSocket listener) {
    return testing::AcceptSocket(static_cast<int>(listener));
}

long ReceiveSome(TestSocket socket, char* buffer, size_t size) {
    return testing::ReceiveSome(static_cast<int>(socket), buffer, size);
}

bool SendAll(TestSocket socket, const char* data, size_t size) {
    return testing::SendAll(static_cast<int>(socket), data, size);
}

void CloseSocket(TestSocket socket) {
    testing::ShutdownSocket(static_cast<int>(socket));
    testing::CloseSocket(static_cast<int>(socket));
}

}  // namespace orvella::test
