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

class CSetupController {
  public:
    // view and store outlive the controller; a download slower than
    // minimumRate is given up.
    CSetupController(CSetupView* view, CSetupSettingsStore* store,
                     const MinimumRate& minimumRate = MinimumRate());

    // Dialog initialisation: the stored settings (or their defaults) go into
    // the controls.
    void LoadSettings();

    // Stores ExtendedTrade, Streaming and both filter times. False when a
    // picker holds no valid time, or when the begin time is not earlier than
    // the end time (after a message box; both times are stored anyway).
    bool SaveTradeSettings();
    // Stores Website, Port and the three optional LST switches, then the
    // trimmed host directory when it is a full path naming an existing
    // directory. False, after a message box, when it is not.
    bool SaveSymbolSettings();
    // Stores Logging; always true.
    bool SaveLoggingSetting();
    // "Save/Quit": the three saves in order, stopping at the first false.
    // True when the dialog may close.
    bool SaveAll();

    // "Download Symbol File". True when the symbol file was stored.
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
    // Starts a job: cursor busy, buttons off, Cancel shown.
    void BeginJob();
    // Ends a job: cursor back, buttons on, Cancel hidden.
    void EndJob();
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
    std::atomic<bool> m_cancel{false};
    CProgressMeter m_meter;
    bool m_meterStarted = false;
    long m_lstLinesSkipped = 0;
};

}  // namespace orvella
