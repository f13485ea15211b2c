#include "plugin/levelone/level_one.h"

#include <atomic>
#include <mutex>

#include "plugin/boundary/global_state.h"
#include "plugin/levelone/level_one_data.h"
#include "plugin/levelone/symbol_info.h"

namespace orvella {

namespace {

// Both are constant-initialised and trivially destroyed, so the timer thread
// may still reach them while the library's static data goes away.
std::mutex g_levelOneLock;
std::atomic<CLevelOneData*> g_levelOne{nullptr};

// Destroys the object with the library's static data when the plug-in's exit
// did not do it first.
struct CLevelOneTeardown {
    ~CLevelOneTeardown() { DestroyLevelOne(); }
} g_teardown;

}  // namespace

CLevelOneData& LevelOne() {
    CLevelOneData* data = g_levelOne.load();
    if (data == nullptr) {
        std::lock_guard<std::mutex> hold(g_levelOneLock);
        data = g_levelOne.load();
        if (data == nullptr) {
            data = new CLevelOneData();
            g_levelOne.store(data);
        }
    }
    return *data;
}

void DestroyLevelOne() {
    std::lock_guard<std::mutex> hold(g_levelOneLock);
    delete g_levelOne.exchange(nullptr);
}

bool WatchSymbol(const std::wstring& symbol, float interval) {
    return LevelOne().WatchSymbol(symbol, interval);
}

bool UnwatchSymbol(const std::wstring& symbol, float interval) {
    return LevelOne().UnwatchSymbol(symbol, interval);
}

void ResumeLevelOneReading() {
    if (CLevelOneData* data = g_levelOne.load()) {
        data->ResumeReading();
    }
}

bool ReconnectStep() {
    CLevelOneData* data = g_levelOne.load();
    return data != nullptr && data->ReconnectStep();
}

std::vector<std::pair<std::wstring, float>> WatchedSeries() {
    CLevelOneData* data = g_levelOne.load();
    return data == nullptr ? std::vector<std::pair<std::wstring, float>>() : data->WatchedSeries();
}

void ReleaseHeldLines() {
    if (CLevelOneData* data = g_levelOne.load()) {
        data->ReleaseHeldLines();
    }
}

bool ProbeLevelOne() {
    // The lock keeps the object alive for the probe's duration.
    std::lock_guard<std::mutex> hold(g_levelOneLock);
    CLevelOneData* data = g_levelOne.load();
    return data != nullptr && data->ProbeLevelOne();
}

bool LivenessTickWantsProbe(int32_t chunkCount, int32_t* lastSeen, int32_t historyInProgress) {
    if (chunkCount == 0 || chunkCount != *lastSeen) {
        *lastSeen = chunkCount;
        return false;
    }
    return historyInProgress == 0;
}

void LivenessTimerProc(void* context, bool fired) {
    if (context == nullptr) {
        return;
    }
    CGlobalState& globals = Globals();
    int32_t lastSeen = globals.lastSeenChunkCount.load();
    const bool probe = LivenessTickWantsProbe(globals.levelOneChunkCount.load(), &lastSeen,
                                              globals.historyInProgress.load());
    globals.lastSeenChunkCount.store(lastSeen);
    if (probe) {
        ProbeLevelOne();
    }
}

CSymbolInfo* FindWatchedSymbol(const std::wstring& symbol) {
    CLevelOneData* data = g_levelOne.load();
    return data == nullptr ? nullptr : data->FindSymbol(symbol);
}

}  // namespace orvella
