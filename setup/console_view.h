// The dialog without a window, for automation: status lines go to standard
// output exactly as the status window shows them, the progress and the
// message boxes to standard error; the fields hold what was loaded.
#pragma once

#include <cstdio>
#include <string>

#include "setup/setup_view.h"

namespace orvella {

class CConsoleView : public CSetupView {
  public:
    CConsoleView(std::FILE* out, std::FILE* err) : m_out(out), m_err(err) {}

    void AppendStatus(const std::string& line) override;
    void ClearStatus() override {}
    void StepProgress() override;
    void SetProgress(int position) override;
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

    int Progress() const { return m_progress; }

  private:
    std::FILE* m_out;
    std::FILE* m_err;
    std::string m_website;
    std::string m_port;
    std::string m_directory;
    bool m_checks[kCheckCount] = {};
    SetupTime m_times[2];
    int m_progress = 0;
};

}  // namespace orvella
