#include "plugin/levelone/message_pump.h"

#include "platform/message_queue.h"

namespace orvella {

namespace {
constexpr uint32_t kPumpBoundMs = 2000;
}

void PumpSocketMessages(const platform::CAsyncSocket& socket, const bool& closedFlag) {
    const uint32_t reference = platform::LastMessageTime();
    const platform::SocketHandle handle = socket.handle();
    platform::Message msg;
    while (platform::PeekMessage(&msg)) {
        if (msg.id == platform::kQuitMessage) {
            // Leave the quit message for the loop that owns the thread.
            platform::PostQuitMessage(static_cast<int>(msg.wparam));
            return;
        }
        platform::DispatchMessage(msg);
        if (msg.id == platform::kSocketDeadMessage && msg.wparam == handle) {
            return;
        }
        // Unsigned difference: the message clock wraps like the platform's.
        if (static_cast<uint32_t>(msg.time - reference) >= kPumpBoundMs || closedFlag) {
            return;
        }
    }
}

}  // namespace orvella
