// The wait of the host's calling thread for the end of a history load, and
// the end of a load.
#pragma once

#include "plugin/history/history_data.h"

namespace orvella {

class CHistoryThread;

// Ends the load once: reports 100 percent to the host, signals the
// completion event, shuts down and closes the lookup connection and empties
// the pending text. Later calls for the same request do nothing.
void FinishHistory(CHistoryData& data);

// Runs on the host's calling thread after the request went out: dispatches
// the thread's messages (so the socket notifications and the reply parser
// run) until the reply has been handled, the load stalled on a broken
// connection, a begun reply stayed silent for 20 seconds, no reply began
// within 60 seconds, the connection closed before any data, or a quit
// message came (it is posted again for the
// thread's own loop). The failures are logged and shown in an error box. Wakes at least every two
// seconds to check for a stall. However it ends, the load is finished
// (FinishHistory), so the completion event is always signalled.
void WaitForHistory(CHistoryThread& thread);

}  // namespace orvella
