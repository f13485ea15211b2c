// The setup dialog's logic, free of any widget toolkit: loading and saving
// the settings, the symbol file download and the LST build. It drives the
// dialog through CSetupView and reaches the settings through
// CSetupSettingsStore. Everything runs on the dialog's one thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "setup/internet_session.h"
#include "setup/job_progress.h"
#include "setup/settings_store.h"
#include "setup/setup_view.h"

namespace orvella {

// The application's title, the caption of its own message boxes.
inline constexpr char kSetupTitle[] = "OrvellaNSTSetup";
// Refusal of a host directory that is not a full path.
inline constexpr char kRelativeDirectoryText[] =
    "The NovaScope Install directory must be a full path!";
// Refusal of an empty host directory.
inline constexpr char kEmptyDirectoryText[] =
    "Is not a valid directory!\n\nThe NovaScope Install directory is empty. Enter the folder the "
    "charting host is installed in, or choose it with Browse.";
// Refusal of a host directory that does not exist: the text and the folder.
std::string MissingDirectoryText(const std::string& directory);

class CSetupController {
  public:
    // view and store outlive the controller; a download slower than
    // minimumRate is given up.
    CSetupController(CSetupView* view, CSetupSettingsStore* store,
                     const MinimumRate& minimumRate = MinimumRate());

    // Dialog initialisation: the stored settings (or their defaults) go into
    // the controls.
    void LoadSettings();

    // Checks the trimmed host directory (not empty, a full path, an existing
    // directory), then stores Website, Port, the three optional LST switches
    // and the directory. False, after a message box, when the directory is
    // refused; nothing is stored then. Both jobs start with it.
    bool SaveSymbolSettings();
    // "Save/Quit": checks both times (valid, begin earlier than end) and the
    // host directory, then stores every setting; a refusal (one message
    // box) stores nothing. True when the dialog may close.
    bool SaveAll();

    // "Download Symbol File". True when the symbol file was stored. The last
    // status line, also shown as the job's result, says what happened:
    // stored, failed and why, or cancelled; the old file stays unless the
    // new one was stored.
    bool DownloadSymbolFile();
    // Fetches the file and stores it as baseName.extension in NovaScopeRoot.
    // Returns the HTTP status that decided the outcome, 0 when the request
    // was not made, was refused or failed.
    int GetWebFile(const std::string& objectPath, const std::string& extension,
                   const std::string& host, int port, const std::string& baseName);

    // "Generate LST Files". True when the build went to the end; lines it
    // skipped are counted in LstLinesSkipped.
    bool BuildLstFiles();
    // Lines of the symbol file the last build skipped (malformed, or of a
    // group whose LST file could not be opened).
    long LstLinesSkipped() const { return m_lstLinesSkipped; }

    // "Check the feed client": the connection check (connection_check.h) on
    // the stored settings, symbol the one to ask for (empty: the first of the
    // symbol file). True when every step passed.
    bool CheckFeedClient(const std::string& symbol);

    // Whether the last GetWebFile stored the symbol file.
    bool SymbolFileStored() const { return m_stored; }

    // Asks the running job to stop at its next progress report (Cancel, the
    // window's close, Ctrl-C). A cancelled download leaves the symbol file
    // as it was and no temporary file; a cancelled build removes the LST
    // files it had begun. Asked before a job starts, it stops that job at
    // once. Safe from a signal handler.
    void RequestCancel() { m_cancel = true; }
    bool CancelRequested() const { return m_cancel; }

  private:
    // The dialog's data exchange: the edits into the fields, in the order
    // website, port, directory. A port that is not an integer stops the
    // exchange there (after the framework's prompt, shown once per action),
    // so the port and directory last accepted stay.
    void MoveEditsIntoFields();
    // The checks of the saves; false after their message box.
    bool ValidTimes(SetupTime* begin, SetupTime* end);
    bool ValidDirectory(std::string* directory);
    // The saves' writes, done once every check has passed.
    void StoreTradeSettings(const SetupTime& begin, const SetupTime& end);
    void StoreSymbolSettings(const std::string& directory);
    void StoreLoggingSetting();
    // Starts a job: cursor busy, buttons off, Cancel shown.
    void BeginJob();
    // Ends a job: cursor back, buttons on, Cancel hidden.
    void EndJob();
    // Starts a job that writes into the host's LST folder: clears the status,
    // saves the symbol settings, and finds the stored host directory and that
    // folder, created when missing. False, with a status line (and the job
    // ended), when any of it fails.
    bool BeginFolderJob(std::string* root, std::string* folder);
    // A job's progress: done of total bytes (-1 done: nothing to show yet,
    // -1 total: not known). Shows it, lets window messages run and returns
    // false when the job is to stop.
    bool ReportProgress(int64_t done, int64_t total);
    // The job's transfer ended: its final count if not shown yet, then the
    // bar back to empty.
    void EndProgress();
    // The stored host directory. False, with a status line, when it is not a
    // full path.
    bool StoredRoot(std::string* root);

    CSetupView* m_view;
    CSetupSettingsStore* m_store;
    MinimumRate m_minimumRate;
    std::string m_strWebsite;
    int m_nPort = 80;
    std::string m_strDirectory;
    bool m_promptShown = false;
    bool m_stored = false;
    // Why the running download stored nothing, and whether it was cancelled.
    std::string m_failure;
    bool m_cancelled = false;
    std::atomic<bool> m_cancel{false};
    CProgressMeter m_meter;
    bool m_meterStarted = false;
    long m_lstLinesSkipped = 0;
};

}  // namespace orvella
