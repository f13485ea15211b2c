#include "plugin/history/history_wait.h"

#include <string>

#include "platform/message_box.h"
#include "platform/message_queue.h"
#include "plugin/boundary/host_feed.h"
#include "plugin/diagnostics/log.h"
#include "plugin/history/history_thread.h"
#include "plugin/history/lookup_connection.h"

namespace orvella {

namespace {

constexpr float kStallCheckSeconds = 2.0f;
// Short enough that a stall check falls due soon after two seconds even when
// no other message arrives.
constexpr int kWakeUpMs = 500;
constexpr wchar_t kLoadAborted[] =
    L"Aborting the loading of historical data because of an error! Please reload this chart!";

}  // namespace

void ReportHistoryFailure(std::wstring_view text) {
    WriteLogLine(text);
    platform::MessageBox(std::wstring(text), L"OrvellaForNST",
                         platform::kMbOk | platform::kMbIconError | platform::kMbSystemModal);
}

void FinishHistory(CHistoryData& data) {
    if (data.m_bFinished) {
        return;
    }
    data.m_bFinished = true;
    HostFeed().UpdatePercent(100);
    if (data.m_pCompletionEvent != nullptr) {
        data.m_pCompletionEvent->Set();
    }
    data.m_socket.ShutDown(platform::kShutdownBoth);
    data.m_socket.Close();
    data.m_strPending.clear();
}

void WaitForHistory(CHistoryThread& thread) {
    CHistoryData& data = thread.m_data;
    float lastCheck = 0.0f;
    float elapsed = 0.0f;
    for (;;) {
        platform::Message msg;
        const platform::WaitResult waited = platform::WaitMessage(&msg, kWakeUpMs);
        if (waited == platform::WaitResult::kQuit) {
            // The thread's own loop must still see the quit message.
            platform::PostQuitMessage(static_cast<int>(msg.wparam));
            break;
        }
        if (waited == platform::WaitResult::kFailed) {
            platform::Sleep(10);
        }
        thread.m_stopwatch.ElapsedSeconds(&elapsed);
        if (lastCheck + kStallCheckSeconds < elapsed) {
            const int32_t chunks = thread.m_nChunks;
            if (chunks != 0 && chunks == thread.m_nLastChunks) {
                if (ProbeLookup(data)) {
                    ReportHistoryFailure(kLoadAborted);
                    break;
                }
            } else if (chunks != 0) {
                thread.m_nLastChunks = chunks;
            }
            lastCheck = elapsed;
        }
        if (waited == platform::WaitResult::kMessage) {
            platform::DispatchMessage(msg);
        }
        if (thread.m_bDone != 0 || data.m_bFinished) {
            break;
        }
        // Closed by the feed client before any data: no stall check would
        // ever fire, so the load ends here.
        if (data.m_socket.m_bClosed && thread.m_nChunks == 0) {
            ReportHistoryFailure(kLoadAborted);
            break;
        }
    }
    FinishHistory(data);
}

}  // namespace orvella
