#include "plugin/boundary/error_report.h"

#include "platform/message_box.h"
#include "plugin/diagnostics/log.h"

namespace orvella {

void ShowErrorBox(const std::wstring& text) {
    platform::MessageBox(text, kPluginCaption,
                         platform::kMbOk | platform::kMbIconError | platform::kMbSystemModal);
}

void ReportError(const std::wstring& text) {
    WriteLogLine(text);
    ShowErrorBox(text);
}

}  // namespace orvella
