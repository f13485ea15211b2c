// Opening the lookup connection, sending a request and probing the
// connection. All of it runs on the host's calling thread.
#pragma once

#include <cstdint>
#include <string_view>

#include "plugin/history/history_data.h"

namespace orvella {

// Makes sure the lookup connection of data exists: when data is not yet
// connected, reads the lookup port, makes data the socket's owner and
// connects. Pumps the socket's messages and returns whether data is
// connected.
bool ConnectLookup(CHistoryData& data);

// Creates socket (all notifications, 131072-byte buffers, don't-linger off)
// and connects it to 127.0.0.1 at port, unless it is connected already. A
// connect that succeeds or is under way marks the socket connected; failures
// are logged. Pumps the socket's messages and returns the socket's
// m_bConnected.
bool ConnectLookupSocket(uint16_t port, CLookupCSocket<CHistoryData*>& socket);

// Sends all bytes of text (no terminating zero). True when they went out
// (logs "History Data Sucessful SendRequest"); a failure is logged with its
// error text. Pumps the socket's messages before returning.
bool SendHistoryRequest(CHistoryData& data, std::string_view text);

// Dispatches the calling thread's pending messages for a bounded time so
// that the lookup socket's notifications run.
void PumpSocketMessages(CLookupCSocket<CHistoryData*>& socket);

// A zero-length receive that never waits: true when the connection is broken
// (the receive failed with an error other than would-block).
bool ProbeLookup(CHistoryData& data);

}  // namespace orvella
