#include "plugin/levelone/socket_errors.h"

#include <cwchar>

namespace orvella {

std::wstring SocketErrorText(int code) {
    switch (code) {
        case 0:
            return L"";
        case 10014:
            return L"The nSockAddrLen argument is incorrect.";
        case 10022:
            return L"The socket has not been bound with Bind.";
        case 10024:
            return L"No more file descriptors are available.";
        case 10035:
            return L"A non-blocking socket operation could not be completed immediately.";
        case 10036:
            return L"A blocking Windows Sockets operation is in progress.";
        case 10038:
            return L"The descriptor is not a socket.";
        case 10039:
            return L"A destination address is required.";
        case 10040:
            return L"The datagram was too large to fit into the specified buffer and was "
                   L"truncated.";
        case 10041:
            return L"The specified port is the wrong type for this socket.";
        case 10043:
            return L"The specified port is not supported.";
        case 10044:
            return L"The specified socket type is not supported in this address family.";
        case 10045:
            return L"MSG_OOB was specified, but the socket is not of type SOCK_STREAM.";
        case 10047:
            return L"The specified address family is not supported.";
        case 10048:
            return L"The specified address is already in use.";
        case 10049:
            return L"The specified address is not available from the local machine.";
        case 10050:
            return L"The Windows Sockets implementation detected that the network subsystem "
                   L"failed.";
        case 10051:
            return L"The network cannot be reached from this host at this time.";
        case 10053:
            return L"The virtual circuit was aborted due to timeout or other failure.";
        case 10054:
            return L"The virtual circuit was reset by the remote side.";
        case 10055:
            return L"No buffer space is available. The socket cannot be created.";
        case 10056:
            return L"The socket is already connected.";
        case 10057:
            return L"The socket is not connected.";
        case 10058:
            return L"The socket has been shut down; it is not possible to call Receive on a socket "
                   L"after Shutdown has been invoked with nHow set to 0 or 2.";
        case 10061:
            return L"The attempt to connect was rejected.";
        case 10093:
            return L"A successful AfxSocketInit must occur before using this API.";
        default:
            break;
    }
    wchar_t text[96];
    std::swprintf(text, sizeof text / sizeof text[0],
                  L"Unsupported error description. Socket error code %d", code);
    return text;
}

}  // namespace orvella
