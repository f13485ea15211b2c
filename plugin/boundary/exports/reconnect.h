// Reconnecting to the feed client (the Reconnect setting): a tick every
// second on the host's thread drives the level-one connection back up after
// it was lost and then fills every watched series' gap from history.
#pragma once

#include <cstdint>

#include "platform/message_queue.h"

namespace orvella {

// The message the tick posts to the host's thread.
inline constexpr uint32_t kReconnectTickMessage = platform::kUserMessage + 0x52;
inline constexpr uint32_t kReconnectTickMs = 1000;

// Starts the ticks on the calling (host) thread unless they run: a periodic
// timer on the liveness timer's queue posts kReconnectTickMessage to this
// thread. Needs the queue (EnsureLivenessTimer); false when there is none or
// the timer cannot be made.
bool EnsureReconnectTicks();

// Unload: the queue (and so the timer) is gone; ticks still queued find no
// handler.
void StopReconnectTicks();

// One tick, on the host's thread: nothing while a history load runs; else a
// step of the reconnect and, once the new connection watches again, the gap
// fill: for every watched series the history from its last row up to now, of
// which only newer rows reach the host, with live lines held meanwhile.
void OnReconnectTick();

}  // namespace orvella
