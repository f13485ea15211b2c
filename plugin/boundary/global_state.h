// The plug-in's process-wide state, created when the library is loaded.
// Everything is written on the host's calling thread; the values that the
// liveness timer reads on its own thread are atomics.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace orvella {

struct CGlobalState {
    std::wstring userId;
    std::wstring password;
    // -1 once both credentials were non-empty and the launch went ahead.
    int32_t credentialsKnown = 0;
    int32_t streamingEnabled = 0;
    int32_t extendedTradesEnabled = 0;
    // A lost level-one connection is made again and the gap filled.
    int32_t reconnectEnabled = 0;
    std::wstring beginFilterText;
    std::wstring endFilterText;
    int32_t tradeFilterOn = 0;
    int32_t filterBeginHour = 0, filterBeginMinute = 0, filterBeginSecond = 0;
    int32_t filterEndHour = 0, filterEndMinute = 0, filterEndSecond = 0;
    // Opaque platform handles (platform::TimerQueue*, platform::Timer*).
    void* timerQueue = nullptr;
    void* livenessTimer = nullptr;
    int32_t livenessTimerContext = 123;
    // 1 while a streaming request's history load runs.
    std::atomic<int32_t> historyInProgress{0};
    // Chunks that reached the level-one data object, and the count the
    // liveness timer saw on its previous tick.
    std::atomic<int32_t> levelOneChunkCount{0};
    std::atomic<int32_t> lastSeenChunkCount{0};
    // Set when the start-up failed: the exports then refuse every call.
    bool pluginDisabled = false;
};

CGlobalState& Globals();

}  // namespace orvella
