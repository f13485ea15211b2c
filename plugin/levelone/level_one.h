// The level-one watch as the exports and the liveness timer call it, and the
// process-wide level-one data object behind it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orvella {

class CLevelOneData;

// Adds the interval to the symbol's watch list entry and sends the watch
// command once the feed client's customer-information line has been seen.
// False when the command could not be sent.
bool WatchSymbol(const std::wstring& symbol, float interval);

// Removes the interval; sends the unwatch command when the symbol has none
// left. False when the symbol was not watched.
bool UnwatchSymbol(const std::wstring& symbol, float interval);

// A zero-length receive on the level-one socket: true when it failed with a
// code other than would-block. Safe from the timer thread; false when the
// level-one object does not exist.
bool ProbeLevelOne();

// After a history load: reads the level-one socket again if the held lines'
// bound had stopped it. Host thread.
void ResumeLevelOneReading();

// The reconnect's step, the watch list's series and the release of held
// lines (CLevelOneData); false, empty and nothing before the first watch.
// Host thread.
bool ReconnectStep();
std::vector<std::pair<std::wstring, float>> WatchedSeries();
void ReleaseHeldLines();

// The liveness timer's callback, every 10000 ms on the timer queue's thread.
void LivenessTimerProc(void* context, bool fired);

// One tick of the liveness timer, given the received-chunk count now and as
// the previous tick saw it: true when the connection should be probed (a
// chunk was seen once, none since the previous tick, and no history load is
// running). *lastSeen takes the count when it changed.
bool LivenessTickWantsProbe(int32_t chunkCount, int32_t* lastSeen, int32_t historyInProgress);

// The process-wide level-one data object, created on first use. Host thread.
CLevelOneData& LevelOne();

// Destroys the process-wide level-one data object (its watch list and its
// socket). Waits for a probe of the liveness timer that is running; a timer
// callback that comes later finds no object and does nothing. Called by the
// plug-in's exit after the timer queue has been deleted; runs again, as a
// no-op, when the library's static data is destroyed.
void DestroyLevelOne();

}  // namespace orvella
