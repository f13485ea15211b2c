#include "plugin/diagnostics/error_report.h"

#include "platform/message_box.h"
#include "plugin/diagnostics/log.h"

namespace orvella {

void ShowErrorBox(const std::wstring& text) {
    platform::MessageBox(text, kPluginCaption,
                         platform::kMbOk | platform::kMbIconError | platform::kMbSystemModal);
}

namespace {

// Host thread only, as the work that reports.
int g_background = 0;
bool g_backgroundFailed = false;
std::wstring g_lastBackgroundError;

}  // namespace

void ReportError(const std::wstring& text) {
    if (g_background == 0) {
        WriteLogLine(text);
        ShowErrorBox(text);
        return;
    }
    g_backgroundFailed = true;
    if (text != g_lastBackgroundError) {
        WriteLogLine(text);
        g_lastBackgroundError = text;
    }
}

CBackgroundErrors::CBackgroundErrors() {
    ++g_background;
}

CBackgroundErrors::~CBackgroundErrors() {
    --g_background;
}

bool CBackgroundErrors::TakeFailure() {
    const bool failed = g_backgroundFailed;
    g_backgroundFailed = false;
    return failed;
}

void CBackgroundErrors::NoteSuccess() {
    g_lastBackgroundError.clear();
}

}  // namespace orvella
