// The worker thread object of one history request. The loading runs on the
// host's calling thread; the worker only waits for the request's completion
// event and then ends, so that the caller can wait for its end.
#pragma once

#include <cstdint>
#include <string>
#include <thread>

#include "platform/sync.h"
#include "plugin/diagnostics/stopwatch.h"
#include "plugin/history/history_data.h"

namespace orvella {

// The worker's function: waits without a time limit until the event is
// signalled, then returns 0.
int HistoryThreadProc(platform::CEvent* completionEvent);

class CHistoryThread {
  public:
    // The stopwatch starts here. The thread is not started yet.
    explicit CHistoryThread(platform::CEvent* completionEvent);
    // Waits for a started thread that has not been joined yet.
    ~CHistoryThread();

    CHistoryThread(const CHistoryThread&) = delete;
    CHistoryThread& operator=(const CHistoryThread&) = delete;

    // Starts the worker running HistoryThreadProc with the completion event.
    // Called once, after the object is fully built.
    void Start();
    // Waits without a time limit until the worker has ended.
    void Join();

    CHistoryData m_data;
    std::wstring m_strSymbol;
    std::wstring m_strDescription;
    std::wstring m_strCategory;
    double m_dStartDate = 0.0;
    float m_fInterval = 0.0f;
    std::wstring m_strColumnNames;
    // The end of the reply has been handled.
    int32_t m_bDone = 0;
    CStopwatch m_stopwatch;
    // Chunks handed to the reply parser, and their count at the last stall
    // check.
    int32_t m_nChunks = 0;
    int32_t m_nLastChunks = 0;

  private:
    platform::CEvent* m_pCompletionEvent;
    std::thread m_worker;
};

}  // namespace orvella
