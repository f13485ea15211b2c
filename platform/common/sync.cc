#include "platform/sync.h"

#include <chrono>
#include <thread>

namespace platform {

CEvent::CEvent(bool manualReset, bool initiallySet)
    : m_manualReset(manualReset), m_set(initiallySet) {}

void CEvent::Set() {
    // The waiters are woken while the lock is held: a waiter that returns may
    // destroy the event at once, so Set must be done with it by then.
    std::lock_guard<std::mutex> guard(m_lock);
    m_set = true;
    // An auto-reset event releases one waiter; a manual one releases all.
    if (m_manualReset) {
        m_changed.notify_all();
    } else {
        m_changed.notify_one();
    }
}

void CEvent::Reset() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_set = false;
}

bool CEvent::Wait(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> guard(m_lock);
    const auto isSet = [this] { return m_set; };
    if (timeoutMs == kInfinite) {
        m_changed.wait(guard, isSet);
    } else if (!m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), isSet)) {
        return false;
    }
    if (!m_manualReset) {
        m_set = false;
    }
    return true;
}

void Sleep(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace platform
