// One history load as RequestTicker runs it.
#pragma once

#include "plugin/boundary/plugin_parts.h"

namespace orvella {

// Creates the request's completion event (auto-reset, not signalled) and its
// CHistoryThread, starts the thread suspended and resumes it, runs
// RunHistoryRequest on the calling thread, waits without a time limit until
// the worker thread has ended, and destroys both.
void LoadHistory(const CHistoryRequestArgs& request);

}  // namespace orvella
