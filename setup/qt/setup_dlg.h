// The setup dialog: the settings, the status window and the two jobs. The
// controls carry their identifiers as object names ("1", "2", "1000" ...).
#pragma once

#include <QDialog>
#include <memory>

#include "setup/dialog_jobs.h"
#include "setup/settings_store.h"
#include "setup/setup_controller.h"
#include "setup/setup_view.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimeEdit;

namespace orvella {

class COrvellaNSTSetupDlg : public QDialog, public CSetupView {
    Q_OBJECT

  public:
    // Object name of the button that opens the About box (the system menu's
    // About command where the window manager offers no system menu).
    static constexpr char kAboutButtonName[] = "aboutCommand";
    // Object names of the Cancel button shown during a job and of the text
    // beside the progress bar: like every control's, its Windows identifier.
    static constexpr char kCancelButtonName[] = "1019";
    static constexpr char kProgressTextName[] = "1020";
    // The Browse button beside the install directory.
    static constexpr char kBrowseButtonName[] = "1022";
    // "Check the feed client".
    static constexpr char kCheckButtonName[] = "1023";

    // store outlives the dialog. The settings are loaded at once.
    explicit COrvellaNSTSetupDlg(CSetupSettingsStore* store, QWidget* parent = nullptr);
    ~COrvellaNSTSetupDlg() override;

    // CSetupView.
    void AppendStatus(const std::string& line) override;
    void ClearStatus() override;
    void ShowProgress(const JobProgress& progress) override;
    void SetProgress(int position) override;
    void ShowJobResult(const std::string& line, bool failed) override;
    void ShowCancel(bool shown) override;
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

  public slots:
    // "Quit", Escape and the window's close: closes without saving. During a
    // job it asks the job to stop and closes once it has.
    void reject() override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private slots:
    void OnSaveQuit();
    void OnDownloadSymbolFile();
    void OnGenerateLstFiles();
    void OnAbout();
    void OnBrowse();
    void OnCheckFeedClient();

  private:
    void BuildControls();
    // Runs one job with the dialog marked busy.
    template <typename Job>
    void RunJob(Job job);
    QCheckBox* Box(Check box) const;

    std::unique_ptr<CSetupController> m_controller;
    QPushButton* m_saveQuit = nullptr;
    QPushButton* m_quit = nullptr;
    QPushButton* m_download = nullptr;
    QPushButton* m_generate = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_check = nullptr;
    QLabel* m_progressText = nullptr;
    QCheckBox* m_checks[kCheckCount] = {};
    QTimeEdit* m_times[2] = {};
    QProgressBar* m_progress = nullptr;
    QLineEdit* m_website = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_directory = nullptr;
    QPlainTextEdit* m_status = nullptr;
    CDialogJobs m_jobs;
};

}  // namespace orvella
