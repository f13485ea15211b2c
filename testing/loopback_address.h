// The IPv4 address 127.0.0.1:port, for the socket calls of each system
// (testing/posix/, testing/win32/). Included after the system's socket
// header, which declares sockaddr_in and the byte-order calls on both.
#pragma once

#include <cstdint>

namespace orvella::testing {

inline sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace orvella::testing
