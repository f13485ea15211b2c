// The setup dialog on Windows: the dialog resource driven by the same
// controller as the Qt dialog.
#pragma once

#include <windows.h>

#include <memory>

#include "setup/dialog_jobs.h"
#include "setup/settings_store.h"
#include "setup/setup_controller.h"
#include "setup/setup_view.h"

namespace orvella {

class COrvellaNSTSetupDlg : public CSetupView {
  public:
    // store outlives the dialog.
    explicit COrvellaNSTSetupDlg(CSetupSettingsStore* store);
    ~COrvellaNSTSetupDlg() override;

    // Shows the dialog until it closes; IDOK after "Save/Quit", else
    // IDCANCEL.
    INT_PTR DoModal();
    // Creates the dialog without showing it and returns its window, for the
    // screenshot; it is destroyed with the object.
    HWND CreateModeless();

    // CSetupView.
    void AppendStatus(const std::string& line) override;
    void ClearStatus() override;
    void ShowProgress(const JobProgress& progress) override;
    void ShowJobResult(const std::string& line, bool failed) override;
    void ShowCancel(bool shown) override;
    void SetProgress(int position) override;
    void DisableButtons() override;
    void EnableButtons() override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void ShowMessage(const std::string& text, const std::string& caption, unsigned flags) override;
    void PumpEvents() override;
    std::string WebsiteText() const override;
    std::string PortText() const override;
    std::string DirectoryText() const override;
    void SetEditTexts(const std::string& website, const std::string& port,
                      const std::string& directory) override;
    bool IsChecked(Check box) const override;
    void SetChecked(Check box, bool checked) override;
    bool GetTime(int picker, SetupTime* time) const override;
    void SetTime(int picker, const SetupTime& time) override;

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    // Browse: a folder chosen in the system's folder picker goes into the
    // install directory's edit.
    void OnBrowse();
    bool OnCommand(int id);
    void Close(INT_PTR result);
    std::string EditText(int id) const;
    template <typename Job>
    void RunJob(Job job);

    std::unique_ptr<CSetupController> m_controller;
    HWND m_window = nullptr;
    bool m_modal = false;
    CDialogJobs m_jobs;
    // The progress bar moves on its own while the size is not known.
    void SetMarquee(bool on);

    int m_waitDepth = 0;
    HCURSOR m_savedCursor = nullptr;
};

}  // namespace orvella
