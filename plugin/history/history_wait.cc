#include "plugin/history/history_wait.h"

#include <string>

#include "platform/message_queue.h"
#include "plugin/boundary/host_feed.h"
#include "plugin/diagnostics/error_report.h"
#include "plugin/diagnostics/log.h"
#include "plugin/history/history_thread.h"
#include "plugin/history/lookup_connection.h"

namespace orvella {

namespace {

constexpr float kStallCheckSeconds = 2.0f;
// A reply that has begun and then stays silent this long on a connection that
// is still open will not end by itself (the feed client lost the request).
constexpr float kSilentReplySeconds = 20.0f;
// A request that has not had its first byte after this long on a connection
// that is still open was lost as well. Generous: the feed client may be
// busy with other loads before it starts on this one.
constexpr float kFirstByteSeconds = 60.0f;
// Short enough that a stall check falls due soon after two seconds even when
// no other message arrives.
constexpr int kWakeUpMs = 500;
constexpr wchar_t kLoadAborted[] =
    L"Aborting the loading of historical data because of an error! Please reload this chart!";

}  // namespace

void FinishHistory(CHistoryData& data) {
    if (data.m_bFinished) {
        return;
    }
    data.m_bFinished = true;
    if (data.m_nMalformedLines != 0) {
        LogFormat(L"Skipped %d history lines that could not be read", data.m_nMalformedLines);
    }
    if (!data.m_bLastBarPart) {
        HostFeed().UpdatePercent(100);
    }
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
    float lastChunkSeen = 0.0f;
    for (;;) {
        // A reply handled while the request went out leaves nothing to wait for.
        if (thread.m_bDone != 0 || data.m_bFinished) {
            break;
        }
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
        bool stalled = false;
        if (lastCheck + kStallCheckSeconds < elapsed) {
            const int32_t chunks = thread.m_nChunks;
            if (chunks == 0) {
                stalled = elapsed > kFirstByteSeconds;
            } else if (chunks == thread.m_nLastChunks) {
                stalled = ProbeLookup(data) || elapsed - lastChunkSeen > kSilentReplySeconds;
            } else {
                thread.m_nLastChunks = chunks;
                lastChunkSeen = elapsed;
            }
            lastCheck = elapsed;
        }
        if (stalled) {
            ReportError(kLoadAborted);
            FinishHistory(data);
        }
        // A message taken is always dispatched (the level-one connection's
        // notifications come here too); after a stall the lookup socket is
        // closed and its notifications are dropped.
        if (waited == platform::WaitResult::kMessage) {
            platform::DispatchMessage(msg);
        }
        if (thread.m_bDone != 0 || data.m_bFinished) {
            break;
        }
        // Closed by the feed client before any data: no stall check would
        // ever fire, so the load ends here.
        if (data.m_socket.m_bClosed && thread.m_nChunks == 0) {
            ReportError(kLoadAborted);
            break;
        }
    }
    FinishHistory(data);
}

}  // namespace orvella
