#include "platform/posix/socket_error_map.h"

#include <sys/socket.h>

#include <cerrno>

#include "platform/async_socket.h"

namespace platform::posix {

namespace {

struct ErrnoEntry {
    int err;
    int code;
};

// EINPROGRESS is "would block": a non-blocking connect under way reports it
// that way on the platform.
constexpr ErrnoEntry kErrnoTable[] = {
    {EINTR, kWsaInterrupted},
    {EACCES, 10013},
    {EFAULT, kWsaFault},
    {EINVAL, kWsaInvalidArgument},
    {EMFILE, kWsaTooManyFiles},
    {ENFILE, kWsaTooManyFiles},
    {EAGAIN, kWsaWouldBlock},
    {EINPROGRESS, kWsaWouldBlock},
    {EALREADY, kWsaAlready},
    {EBADF, kWsaNotSocket},
    {ENOTSOCK, kWsaNotSocket},
    {EDESTADDRREQ, 10039},
    {EMSGSIZE, kWsaMessageSize},
    {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},
    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, kWsaAddressInUse},
    {EADDRNOTAVAIL, kWsaAddressNotAvailable},
    {ENETDOWN, kWsaNetworkDown},
    {ENETUNREACH, kWsaNetworkUnreachable},
    {ENETRESET, 10052},
    {ECONNABORTED, kWsaConnectionAborted},
    {ECONNRESET, kWsaConnectionReset},
    {ENOBUFS, kWsaNoBufferSpace},
    {ENOMEM, kWsaNoBufferSpace},
    {EISCONN, kWsaIsConnected},
    {ENOTCONN, kWsaNotConnected},
    {EPIPE, kWsaShutdown},
    {ESHUTDOWN, kWsaShutdown},
    {ETIMEDOUT, kWsaTimedOut},
    {ECONNREFUSED, kWsaConnectionRefused},
    {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},
};

}  // namespace

int SocketErrorFromErrno(int err) {
    for (const ErrnoEntry& entry : kErrnoTable) {
        if (entry.err == err) {
            return entry.code;
        }
    }
    return err;
}

int NativeMessageFlags(int flags) {
    int native = 0;
    if (flags & 0x1) {
        native |= MSG_OOB;
    }
    if (flags & 0x2) {
        native |= MSG_PEEK;
    }
    if (flags & 0x4) {
        native |= MSG_DONTROUTE;
    }
    return native;
}

}  // namespace platform::posix
