#include "setup/console_view.h"

#include "setup/time_text.h"

namespace orvella {

namespace {

// Back to the start of the line and erase it.
constexpr char kEraseLine[] = "\r\x1b[K";

}  // namespace

void CConsoleView::ClearProgressLine() {
    if (!m_progressShown)
        return;
    std::fputs(kEraseLine, m_out);
    m_progressShown = false;
}

void CConsoleView::AppendStatus(const std::string& line) {
    ClearProgressLine();
    std::fwrite(line.data(), 1, line.size(), m_out);
    std::fputc('\n', m_out);
}

void CConsoleView::ShowProgress(const JobProgress& progress) {
    if (!m_terminal)
        return;
    std::fputs(kEraseLine, m_out);
    std::fputs(ProgressText(progress).c_str(), m_out);
    std::fflush(m_out);
    m_progressShown = true;
}

void CConsoleView::SetProgress(int) {
    ClearProgressLine();
    std::fflush(m_out);
}

void CConsoleView::ShowMessage(const std::string& text, const std::string& caption, unsigned) {
    ClearProgressLine();
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
}

}  // namespace orvella
