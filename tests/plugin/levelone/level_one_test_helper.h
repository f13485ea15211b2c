// Test-only access to the level-one data object's knobs and state.
#pragma once

#include <cstdint>
#include <string>

#include "plugin/levelone/level_one_data.h"

namespace orvella {

class CLevelOneTestHelper {
  public:
    // Shortens the connect and customer-information waits of WatchSymbol.
    static void ShortenWaits(CLevelOneData& data, int attempts, uint32_t sleepMs) {
        data.m_nWaitAttempts = attempts;
        data.m_nWaitSleepMs = sleepMs;
    }
    static void UsePort(CLevelOneData& data, uint16_t port) { data.m_nPortOverride = port; }
    static bool CustomerInfo(const CLevelOneData& data) { return data.m_bCustomerInfo != 0; }
    static std::wstring Pending(const CLevelOneData& data) { return data.PendingText(); }
    static bool Closed(const CLevelOneData& data) { return data.m_socket.Closed(); }
    static bool Connected(const CLevelOneData& data) { return data.m_socket.Connected(); }
    static bool LevelOneUp(const CLevelOneData& data) { return data.m_bLevelOneUp; }
    static bool ReadsHeld(const CLevelOneData& data) { return data.m_socket.ReadsHeld(); }
    static int ConnectAttempts(const CLevelOneData& data) { return data.m_nConnectAttempts; }
};

}  // namespace orvella
