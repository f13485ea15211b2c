// Events and threads, where the standard library does not already serve.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/platform_export.h"

namespace platform {

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// An unnamed event: auto-reset (a successful wait resets it) or manual-reset.
class PLATFORM_API CEvent {
public:
    explicit CEvent(bool manualReset = false, bool initiallySet = false);

    void Set();
    void Reset();
    // Waits up to timeoutMs (kInfinite: no limit). True when the event was set.
    bool Wait(uint32_t timeoutMs = kInfinite);

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_manualReset;
    bool m_set;
};

// Sleeps the calling thread for ms milliseconds (no messages are handled).
PLATFORM_API void Sleep(uint32_t ms);

}  // namespace platform
