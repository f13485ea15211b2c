#include "setup/console_view.h"

#include "setup/time_text.h"

namespace orvella {

namespace {

// Back to the start of the line and erase it.
constexpr char kEraseLine[] = "\r\x1b[K";

}  // namespace

std::string FitTerminalLine(const std::string& text, int columns) {
    // The last column is left free: writing there makes some terminals wrap.
    if (columns <= 1)
        return columns == 1 ? std::string() : text;
    const int room = columns - 1;
    int used = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) == 0x80)
            continue;
        if (used == room)
            return text.substr(0, i);
        ++used;
    }
    return text;
}

void CConsoleView::ClearProgressLine() {
    if (!m_progressShown)
        return;
    std::fputs(kEraseLine, m_out);
    m_progressShown = false;
    if (!m_count.empty()) {
        std::fputs(m_count.c_str(), m_out);
        std::fputc('\n', m_out);
        m_count.clear();
    }
}

void CConsoleView::Redraw() {
    std::string line = m_count;
    if (!m_progress.empty())
        line += (line.empty() ? "" : "  ") + m_progress;
    std::fputs(kEraseLine, m_out);
    std::fputs(FitTerminalLine(line, m_columns ? m_columns() : 0).c_str(), m_out);
    std::fflush(m_out);
    m_progressShown = true;
}

void CConsoleView::AppendStatus(const std::string& line) {
    ClearProgressLine();
    std::fwrite(line.data(), 1, line.size(), m_out);
    std::fputc('\n', m_out);
}

void CConsoleView::AppendCountStatus(const std::string& line) {
    if (!m_terminal) {
        AppendStatus(line);
        return;
    }
    m_count = line;
    Redraw();
}

void CConsoleView::ShowProgress(const JobProgress& progress) {
    if (!m_terminal)
        return;
    m_progress = ProgressText(progress);
    Redraw();
}

void CConsoleView::SetProgress(int) {
    ClearProgressLine();
    m_progress.clear();
    std::fflush(m_out);
}

void CConsoleView::ShowJobResult(const std::string& line, bool failed) {
    if (!failed)
        return;
    ClearProgressLine();
    std::fflush(m_out);
    std::fprintf(m_err, "OrvellaNSTSetup: %s\n", line.c_str());
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
    line("Reconnect", flag(Check::kReconnect));
}

}  // namespace orvella
