// The setup dialog as its jobs see it: the status window, the progress bar,
// the buttons, the busy cursor, message boxes and the values of the fields.
// The Qt dialog, the headless runner and the tests each implement it; the
// jobs and the settings logic (setup_controller.h) talk only to this.
#pragma once

#include <string>

#include "setup/job_progress.h"

namespace orvella {

// A time of day as the time pickers hold it.
struct SetupTime {
    int hour = 0;
    int minute = 0;
    int second = 0;

    int SecondsOfDay() const { return hour * 3600 + minute * 60 + second; }
    bool operator==(const SetupTime&) const = default;
};

// Message-box styles the jobs use (the platform's values).
inline constexpr unsigned kSetupMbIconError = 0x10;
inline constexpr unsigned kSetupMbIconWarning = 0x30;
inline constexpr unsigned kSetupMbSystemModal = 0x1000;

// The progress bar's scale when no job shows its share.
inline constexpr int kProgressMin = 0;
inline constexpr int kProgressMax = 100;

class CSetupView {
  public:
    virtual ~CSetupView() = default;

    // Status window: one line added at the end and scrolled into view;
    // ClearStatus empties it.
    virtual void AppendStatus(const std::string& line) = 0;
    virtual void ClearStatus() = 0;
    // A status line that repeats a growing count ("Total Bytes received
    // %ld"); a view may redraw the last one in place instead.
    virtual void AppendCountStatus(const std::string& line) { AppendStatus(line); }

    // Progress bar: the share of the running job done (a moving bar with
    // the byte count when the total is not known) with the text of
    // ProgressText beside it; SetProgress puts the bar back to position of
    // kProgressMin..kProgressMax and removes the text.
    virtual void ShowProgress(const JobProgress& progress) = 0;
    virtual void SetProgress(int position) = 0;

    // The job's result, after its last status line: the dialog shows it in
    // the line beside the progress bar, the headless program writes a
    // failure to standard error.
    virtual void ShowJobResult(const std::string& line, bool failed) {}

    // The Cancel button: shown while a job runs; it calls the controller's
    // RequestCancel.
    virtual void ShowCancel(bool shown) = 0;

    // "Save/Quit", "Quit", "Download Symbol File" and "Generate LST Files"
    // together.
    virtual void DisableButtons() = 0;
    virtual void EnableButtons() = 0;

    // Busy cursor; calls nest, the cursor comes back after the last End.
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // A message box with an OK button; returns when it is dismissed.
    virtual void ShowMessage(const std::string& text, const std::string& caption,
                             unsigned flags) = 0;

    // Lets waiting window messages run (repaint, status lines, a click on
    // Cancel). Called whenever a job reports its progress.
    virtual void PumpEvents() = 0;

    // The three edits, as text.
    virtual std::string WebsiteText() const = 0;
    virtual std::string PortText() const = 0;
    virtual std::string DirectoryText() const = 0;
    virtual void SetEditTexts(const std::string& website, const std::string& port,
                              const std::string& directory) = 0;

    // Check boxes, read and set directly on the controls.
    enum class Check {
        kExtendedTrade,
        kStreaming,
        kContinuous,
        kMeridexSpot,
        kMeridexSpotComposite,
        kLogging,
        kReconnect
    };
    static constexpr int kCheckCount = 7;
    virtual bool IsChecked(Check box) const = 0;
    virtual void SetChecked(Check box, bool checked) = 0;

    // Time pickers (0 begin, 1 end). GetTime returns false when the picker
    // holds no valid time.
    virtual bool GetTime(int picker, SetupTime* time) const = 0;
    virtual void SetTime(int picker, const SetupTime& time) = 0;
};

}  // namespace orvella
