// The one translation of errno values into the platform's socket error
// numbers (async_socket.h), and of the platform's receive/send flags.
#pragma once

namespace platform::posix {

// Socket error numbers the public header does not name.
inline constexpr int kWsaInterrupted = 10004;
inline constexpr int kWsaAlready = 10037;

// The socket error number for an errno value. An errno without a counterpart
// is returned unchanged (it lies far below every socket error number).
int SocketErrorFromErrno(int err);

// The MSG_* flags for the platform's receive/send flags (out-of-band 0x1,
// peek 0x2, don't route 0x4); other bits are dropped.
int NativeMessageFlags(int flags);

}  // namespace platform::posix
