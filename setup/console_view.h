// The dialog without a window, for automation: status lines go to standard
// output exactly as the status window shows them, the message boxes and a
// failed job's result to standard error; the fields hold what was loaded.
// When standard output is a terminal, the running job's byte count and
// progress are one line there, cut to the terminal's width and redrawn in
// place (another status line moves the last count above it for good); when
// it is not, every count is a line of its own and no progress is written.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "setup/setup_view.h"

namespace orvella {

class CConsoleView : public CSetupView {
  public:
    // The terminal's width in characters, 0 when not known.
    using ColumnsHook = std::function<int()>;

    // terminal: whether out shows on a terminal, columns its width (asked at
    // every redraw).
    CConsoleView(std::FILE* out, std::FILE* err, bool terminal, ColumnsHook columns = {})
        : m_out(out), m_err(err), m_terminal(terminal), m_columns(std::move(columns)) {}

    void AppendStatus(const std::string& line) override;
    void AppendCountStatus(const std::string& line) override;
    void ShowJobResult(const std::string& line, bool failed) override;
    void ClearStatus() override {}
    void ShowProgress(const JobProgress& progress) override;
    void SetProgress(int position) override;
    void ShowCancel(bool) override {}
    void DisableButtons() override {}
    void EnableButtons() override {}
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void ShowMessage(const std::string& text, const std::string& caption, unsigned flags) override;
    void PumpEvents() override {}

    std::string WebsiteText() const override { return m_website; }
    std::string PortText() const override { return m_port; }
    std::string DirectoryText() const override { return m_directory; }
    void SetEditTexts(const std::string& website, const std::string& port,
                      const std::string& directory) override;
    bool IsChecked(Check box) const override { return m_checks[static_cast<int>(box)]; }
    void SetChecked(Check box, bool checked) override { m_checks[static_cast<int>(box)] = checked; }
    bool GetTime(int picker, SetupTime* time) const override;
    void SetTime(int picker, const SetupTime& time) override { m_times[picker] = time; }

    // Writes the loaded settings to standard output, one "Name=value" a line.
    void PrintSettings() const;

  private:
    // Removes the line drawn in place, if one is shown, and writes the last
    // count as a line of its own.
    void ClearProgressLine();
    // Draws the count and the progress in place.
    void Redraw();

    std::FILE* m_out;
    std::FILE* m_err;
    bool m_terminal;
    ColumnsHook m_columns;
    bool m_progressShown = false;
    std::string m_count;     // the last count line not yet written for good
    std::string m_progress;  // the progress text drawn after it
    std::string m_website;
    std::string m_port;
    std::string m_directory;
    bool m_checks[kCheckCount] = {};
    SetupTime m_times[2];
};

// text cut to fit a terminal line of columns characters without wrapping
// (one column stays free); UTF-8 sequences stay whole. columns 0: not cut.
std::string FitTerminalLine(const std::string& text, int columns);

}  // namespace orvella
