// Helpers of the socket tests: the shared listener on 127.0.0.1 whose
// accepted side the test drives directly, and a bounded message loop.
#pragma once

#include <chrono>
#include <functional>

#include "platform/message_queue.h"
#include "testing/loopback.h"

namespace platform::test {

// The shared listener on a free port of 127.0.0.1.
class Listener : public orvella::testing::CLoopbackListener {
  public:
    explicit Listener(bool listen = true) : CLoopbackListener(0, listen) {}
};

using orvella::testing::ResetAndClose;
using orvella::testing::SendAll;

// Waits for and dispatches the thread's messages until done() holds or
// timeoutMs has passed. Returns done().
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        Message msg;
        if (WaitMessage(&msg, static_cast<int>(left.count())) == WaitResult::kMessage) {
            DispatchMessage(msg);
        }
    }
    return true;
}

}  // namespace platform::test
