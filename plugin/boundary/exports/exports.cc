// The exports: each runs on the host's calling thread.
#include <cmath>

#include "platform/text.h"
#include "plugin/boundary/bar_interval.h"
#include "plugin/boundary/exports/OrvellaForNST.h"
#include "plugin/boundary/exports/column_layout.h"
#include "plugin/boundary/exports/feed_launch.h"
#include "plugin/boundary/exports/liveness_timer.h"
#include "plugin/boundary/exports/reconnect.h"
#include "plugin/boundary/feed_text.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/host_feed.h"
#include "plugin/boundary/plugin_parts.h"
#include "plugin/boundary/row_gate.h"
#include "plugin/boundary/trade_filter.h"
#include "plugin/diagnostics/error_report.h"
#include "plugin/diagnostics/log.h"
#include "settings/corvan_reg_base.h"
#include "settings/filter_time.h"
#include "settings/registry_access.h"
#include "settings/settings_keys.h"

namespace orvella {

namespace {

// Size of each scratch buffer handed to GetUserIDPassword.
constexpr int kCredentialBufferSize = 24;

std::wstring Widen(const char* text) {
    return text == nullptr ? std::wstring() : platform::WidenText(text);
}

// The log shows whether a password was given, never the password.
std::wstring MaskedPassword(const std::wstring& password) {
    return password.empty() ? std::wstring() : std::wstring(L"********");
}

void ReadLoginSettings(CGlobalState& state) {
    COrvellaForNSTReg reg;
    state.streamingEnabled = ReadRegDword(kStreamingPath, kDefaultStreaming);
    state.extendedTradesEnabled = ReadRegDword(kExtendedTradePath, kDefaultExtendedTrade);
    state.reconnectEnabled = ReadRegDword(kReconnectPath, kDefaultReconnect) != 0 ? 1 : 0;
    state.beginFilterText = ReadFilterTime(kBeginFilterTimePath, kDefaultBeginFilterTime);
    state.endFilterText = ReadFilterTime(kEndFilterTimePath, kDefaultEndFilterTime);
}

// Runs an export's body. No exception may reach the host: one that leaves
// the body is logged and the export gives its failure result.
template <typename Body>
int Guarded(const wchar_t* name, int failure, Body&& body) {
    try {
        return body();
    } catch (...) {
        Globals().historyInProgress = 0;
        try {
            LogFormat(L"Caught an unexpected failure in %ls", name);
        } catch (...) {
        }
        return failure;
    }
}

int PasswordChanged(const char* userId, const char* password) {
    CGlobalState& state = Globals();
    if (state.pluginDisabled) {
        return 0;
    }
    WriteLogLine(L"Beginning UserIDPasswordChanged");
    state.userId = Widen(userId);
    state.password = Widen(password);
    LogFormat(L"UserID = %ls; Password = %ls", state.userId.c_str(),
              MaskedPassword(state.password).c_str());
    if (state.userId.empty() || state.password.empty()) {
        state.credentialsKnown = 0;
        ReportError(L"ERROR! We do not have the required UserID and Password to start Orvella.");
        return 0;
    }

    state.credentialsKnown = -1;
    WriteLogLine(L"Before launch and login of Orvella");
    if (!LaunchAndLogin(state.userId, state.password)) {
        state.credentialsKnown = 0;
        return 0;
    }
    WriteLogLine(L"After login of Orvella");

    ReadLoginSettings(state);
    ApplyTradeFilter(state);
    // A streaming chart's own load judges its held live trades; a reconnect fills gaps.
    RowGate().TrackRows(state.streamingEnabled != 0 || state.reconnectEnabled != 0);
    WriteLogLine(L"Read in registry settings");
    WriteLogLine(L"Ending UserIDPasswordChanged");
    return -1;
}

int Request(const char* symbol, const char* description, const char* category, double startDate,
            float barInterval, char* columnNames) {
    CGlobalState& state = Globals();
    if (state.pluginDisabled) {
        return 0;
    }
    WriteLogLine(L"Beginning Request Symbol");
    CHistoryRequestArgs request;
    request.symbol = Widen(symbol);
    request.description = Widen(description);
    request.category = Widen(category);
    request.startDate = startDate;
    request.interval = barInterval;
    request.columnNames = Widen(columnNames);
    LogFormat(
        L"symbol %ls; description %ls; category %ls; startdate %lf; BarInterval %f; "
        L"columnNames %ls",
        request.symbol.c_str(), request.description.c_str(), request.category.c_str(), startDate,
        static_cast<double>(barInterval), request.columnNames.c_str());

    // The symbol goes into request lines as it is: a line end would start
    // another request, a comma would shift the fields.
    if (!IsRequestableSymbol(request.symbol)) {
        ReportError(
            L"The symbol holds a control character or a comma and cannot be requested. "
            L"Please check the chart's symbol!");
        return 0;
    }

    // A start that is no number cannot be written into a request line.
    if (!std::isfinite(startDate)) {
        LogFormat(L"The start date %lf is not a date; the request is refused", startDate);
        return 0;
    }

    if (state.credentialsKnown == 0) {
        char userBuffer[kCredentialBufferSize] = {};
        char passwordBuffer[kCredentialBufferSize] = {};
        char* user = userBuffer;
        char* pass = passwordBuffer;
        HostFeed().GetUserIDPassword(&user, &pass);
    }

    const bool streaming = state.streamingEnabled != 0;
    const bool watch = streaming && NamesRequest(barInterval);
    if (watch) {
        if (!EnsureLivenessTimer()) {
            return 0;
        }
        if (state.reconnectEnabled != 0) {
            EnsureReconnectTicks();
        }
        state.historyInProgress = 1;
        if (!PluginParts().WatchSymbol(request.symbol, barInterval)) {
            ReportError(L"The symbol watch for level one streaming data failed");
            state.historyInProgress = 0;
            PluginParts().ResumeLevelOneReading();
            return 0;
        }
    }
    AnnounceSeries(HostFeed(), ChooseLayout(streaming, barInterval), symbol, description, category,
                   startDate, barInterval, columnNames);

    PluginParts().LoadHistory(request);

    state.historyInProgress = 0;
    PluginParts().ProbeLevelOne();
    if (watch) {
        PluginParts().ResumeLevelOneReading();
    }
    WriteLogLine(L"Ending Request Symbol");
    return 1;
}

int Remove(const char* symbol, float barInterval) {
    CGlobalState& state = Globals();
    if (state.pluginDisabled) {
        return 1;
    }
    WriteLogLine(L"Beginning Remove Symbol");
    const std::wstring wideSymbol = Widen(symbol);
    LogFormat(L"symbol = %ls; BarInterval = %f", wideSymbol.c_str(),
              static_cast<double>(barInterval));
    if (state.streamingEnabled != 0 && NamesRequest(barInterval)) {
        PluginParts().UnwatchSymbol(wideSymbol, barInterval);
        RowGate().ReleaseHeldRows(symbol, -barInterval);
    }
    WriteLogLine(L"Ending Remove Symbol");
    return 1;
}

}  // namespace

}  // namespace orvella

using namespace orvella;

int UserIDPasswordChanged(const char* userId, const char* password) {
    return Guarded(L"UserIDPasswordChanged", 0, [&] { return PasswordChanged(userId, password); });
}

int RequestTicker(const char* symbol, const char* description, const char* category,
                  double startDate, float barInterval, char* columnNames) {
    return Guarded(L"RequestTicker", 0, [&] {
        return Request(symbol, description, category, startDate, barInterval, columnNames);
    });
}

int RemoveTicker(const char* symbol, float barInterval) {
    return Guarded(L"RemoveTicker", 1, [&] { return Remove(symbol, barInterval); });
}
