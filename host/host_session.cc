#include "host/host_session.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "host/feed_store.h"
#include "platform/message_queue.h"

namespace nsthost {
namespace {

// Upper bounds of one drain, so that neither a plug-in which keeps posting to
// itself nor a socket that is never without data (a feed streaming at its
// full rate) holds the host in one drain forever: the next command waits at
// most this long, as a user's next click would in a busy message loop.
constexpr int kMaxDrain = 1000000;
constexpr uint32_t kMaxDrainMs = 2000;

}  // namespace

CHostSession::CHostSession(CCallRecorder* recorder, std::string defaultPath)
    : m_recorder(recorder), m_defaultPath(std::move(defaultPath)) {}

bool CHostSession::Load(const std::string& path, std::string* error) {
    Unload();
    const bool loaded = m_plugin.Load(path, error);
    if (m_recorder != nullptr) {
        m_recorder->RecordLoad(path, loaded ? 1 : 0);
    }
    return loaded;
}

void CHostSession::Unload() {
    if (!m_plugin.IsLoaded()) {
        return;
    }
    m_plugin.Unload();
    if (m_recorder != nullptr) {
        m_recorder->RecordUnload();
    }
}

RunResult CHostSession::Run(const ScriptCommand& command, std::string* error) {
    if (command.kind == CommandKind::kLoad) {
        if (!Load(command.path.empty() ? m_defaultPath : command.path, error)) {
            return RunResult::kLoadFailed;
        }
        DrainMessages();
        return RunResult::kOk;
    }
    if (command.kind == CommandKind::kUnload) {
        Unload();
        return RunResult::kOk;
    }
    if (command.kind == CommandKind::kPump) {
        PumpFor(command.seconds);
        return RunResult::kOk;
    }
    if (!m_plugin.IsLoaded()) {
        *error = "the plug-in is not loaded";
        return RunResult::kFailed;
    }
    switch (command.kind) {
        case CommandKind::kCredentials: {
            const int result =
                m_plugin.userIDPasswordChanged(command.user.c_str(), command.password.c_str());
            if (m_recorder != nullptr) {
                m_recorder->RecordUserIDPasswordChanged(command.user, command.password, result);
            }
            break;
        }
        case CommandKind::kRequest: {
            // The plug-in may cut the column names in place.
            std::vector<char> columns(command.columns.begin(), command.columns.end());
            columns.push_back('\0');
            FeedStore().BeginRequest();
            const int result = m_plugin.requestTicker(
                command.symbol.c_str(), command.description.c_str(), command.category.c_str(),
                command.start, command.interval, columns.data());
            FeedStore().EndRequest();
            if (m_recorder != nullptr) {
                m_recorder->RecordRequestTicker(command.symbol, command.description,
                                                command.category, command.start, command.interval,
                                                command.columns, result);
            }
            break;
        }
        case CommandKind::kRemove: {
            const int result = m_plugin.removeTicker(command.symbol.c_str(), command.interval);
            if (m_recorder != nullptr) {
                m_recorder->RecordRemoveTicker(command.symbol, command.interval, result);
            }
            break;
        }
        default:
            break;
    }
    DrainMessages();
    return RunResult::kOk;
}

void CHostSession::DrainMessages() {
    platform::Message msg;
    const uint32_t begin = platform::MessageClock();
    for (int i = 0; i < kMaxDrain && !m_quit && platform::PeekMessage(&msg); ++i) {
        if (msg.id == platform::kQuitMessage) {
            m_quit = true;
            break;
        }
        platform::DispatchMessage(msg);
        if (platform::MessageClock() - begin >= kMaxDrainMs) {
            break;
        }
    }
}

void CHostSession::PumpFor(double seconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::microseconds(std::llround(seconds * 1000000.0));
    while (!m_quit) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            DrainMessages();
            return;
        }
        platform::Message msg;
        const platform::WaitResult waited =
            platform::WaitMessage(&msg, static_cast<int>(std::min<int64_t>(left, 1000)));
        if (waited == platform::WaitResult::kQuit) {
            m_quit = true;
        } else if (waited == platform::WaitResult::kMessage) {
            platform::DispatchMessage(msg);
        } else if (waited == platform::WaitResult::kFailed) {
            std::fputs("nst-host: waiting for messages failed; pump ended early\n", stderr);
            return;
        }
    }
}

}  // namespace nsthost
