// The dialog without a window, for automation: status lines go to standard
// output exactly as the status window shows them, the message boxes to
// standard error; the fields hold what was loaded. When standard output is a
// terminal, the running job's progress is one line there, redrawn in place
// (a status line clears it and it comes back with the next report); when it
// is not, no progress is written at all.
#pragma once

#include <cstdio>
#include <string>

#include "setup/setup_view.h"

namespace orvella {

class CConsoleView : public CSetupView {
  public:
    // terminal: whether out shows on a terminal.
    CConsoleView(std::FILE* out, std::FILE* err, bool terminal)
        : m_out(out), m_err(err), m_terminal(terminal) {}

    void AppendStatus(const std::string& line) override;
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
    // Removes the progress line, if one is shown.
    void ClearProgressLine();

    std::FILE* m_out;
    std::FILE* m_err;
    bool m_terminal;
    bool m_progressShown = false;
    std::string m_website;
    std::string m_port;
    std::string m_directory;
    bool m_checks[6] = {};
    SetupTime m_times[2];
};

}  // namespace orvella
