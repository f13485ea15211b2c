// The bounded message pump that both connections run while their caller
// waits for the socket.
#pragma once

#include "platform/async_socket.h"

namespace orvella {

// Dispatches the calling thread's pending messages, never waiting for new
// ones. Returns when none is pending, after the socket-dead notice of this
// socket, when closedFlag is set, or after a message stamped 2000 ms or more
// past the last message the thread had taken before the call. A message that
// was taken is always dispatched first.
void PumpSocketMessages(const platform::CAsyncSocket& socket, const bool& closedFlag);

}  // namespace orvella
