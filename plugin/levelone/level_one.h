// The level-one watch as the exports and the liveness timer call it.
#pragma once

#include <string>

namespace orvella {

// Adds the interval to the symbol's watch list entry and sends the watch
// command once the feed client's customer-information line has been seen.
// False when the command could not be sent.
bool WatchSymbol(const std::wstring& symbol, float interval);

// Removes the interval; sends the unwatch command when the symbol has none
// left. False when the symbol was not watched.
bool UnwatchSymbol(const std::wstring& symbol, float interval);

// A zero-length receive on the level-one socket: true when it failed with a
// code other than would-block. Safe from the timer thread.
bool ProbeLevelOne();

// The liveness timer's callback, every 10000 ms on the timer queue's thread.
void LivenessTimerProc(void* context, bool fired);

}  // namespace orvella
