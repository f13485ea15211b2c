#include "plugin/boundary/exports/plugin_app.h"

#include "platform/async_socket.h"
#include "plugin/boundary/exports/liveness_timer.h"
#include "plugin/boundary/exports/reconnect.h"
#include "plugin/boundary/host_feed.h"
#include "plugin/boundary/plugin_parts.h"
#include "plugin/diagnostics/error_report.h"
#include "plugin/diagnostics/log.h"
#include "settings/reg_value.h"

namespace orvella {

namespace {

void LogSettingsNotice(const std::wstring& text) {
    WriteLogLine(text);
}

}  // namespace

bool COrvellaForNSTApp::InitInstance() {
    if (++m_initCount == 1) {
        SetSettingsNoticeSink(&LogSettingsNotice);
        OpenLogFile();
        WriteLogLine(L"Telling Nova Scope Trader that we require a password");
        HostFeed().RequireUserIDPassword();
        WriteLogLine(L"Require UserID and Password has been called");
    }
    WriteLogLine(L"Before initialize Windows Sockets");
    if (!platform::InitSockets()) {
        WriteLogLine(L"Failed to init sockets");
        ShowErrorBox(L"The socket layer could not be initialized; OrvellaForNST cannot be loaded.");
        return false;
    }
    WriteLogLine(L"After initialize Windows Sockets");
    WriteLogLine(L"The Init process has been completed");
    return true;
}

int COrvellaForNSTApp::ExitInstance() {
    if (--m_initCount == 0) {
        DeleteLivenessTimerQueue();
        StopReconnectTicks();
        PluginParts().ReleaseLevelOne();
        WriteLogLine(L"Closing Logfile");
        CloseLogFile();
    }
    return 0;
}

}  // namespace orvella
