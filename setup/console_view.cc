#include "setup/console_view.h"

#include "setup/time_text.h"

namespace orvella {

void CConsoleView::AppendStatus(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), m_out);
    std::fputc('\n', m_out);
}

void CConsoleView::StepProgress() {
    m_progress = NextProgressPosition(m_progress);
    std::fprintf(m_err, "progress %d\n", m_progress);
}

void CConsoleView::SetProgress(int position) {
    m_progress = position;
    std::fprintf(m_err, "progress %d\n", m_progress);
}

void CConsoleView::ShowMessage(const std::string& text, const std::string& caption, unsigned) {
    std::fflush(m_out);
    std::fprintf(m_err, "%s: %s\n", caption.c_str(), text.c_str());
}

void CConsoleView::SetEditTexts(const std::string& website, const std::string& port,
                                const std::string& directory) {
    m_website = website;
    m_port = port;
    m_directory = directory;
}

bool CConsoleView::GetTime(int picker, SetupTime* time) const {
    *time = m_times[picker];
    return true;
}

void CConsoleView::PrintSettings() const {
    auto line = [this](const char* name, const std::string& value) {
        std::fprintf(m_out, "%s=%s\n", name, value.c_str());
    };
    auto flag = [this](Check box) { return std::string(IsChecked(box) ? "1" : "0"); };
    line("Website", m_website);
    line("Port", m_port);
    line("NovaScopeRoot", m_directory);
    line("ExtendedTrade", flag(Check::kExtendedTrade));
    line("Streaming", flag(Check::kStreaming));
    line("BeginFilterTime", FormatPickerTime(m_times[0]));
    line("EndFilterTime", FormatPickerTime(m_times[1]));
    line("Continuous", flag(Check::kContinuous));
    line("MeridexSpot", flag(Check::kMeridexSpot));
    line("MeridexSpotComposite", flag(Check::kMeridexSpotComposite));
    line("Logging", flag(Check::kLogging));
    line("Reconnect", flag(Check::kReconnect));
}

}  // namespace orvella
