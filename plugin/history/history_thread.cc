#include "plugin/history/history_thread.h"

namespace orvella {

int HistoryThreadProc(platform::CEvent* completionEvent) {
    completionEvent->Wait(platform::kInfinite);
    return 0;
}

CHistoryThread::CHistoryThread(platform::CEvent* completionEvent)
    : m_pCompletionEvent(completionEvent) {}

CHistoryThread::~CHistoryThread() {
    Join();
}

void CHistoryThread::Start() {
    m_worker = std::thread([event = m_pCompletionEvent] { HistoryThreadProc(event); });
}

void CHistoryThread::Join() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

}  // namespace orvella
