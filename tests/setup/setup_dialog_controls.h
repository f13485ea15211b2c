// The setup dialog's controls as both front ends show them: in tab order,
// each with its caption and the group box it sits in. The Linux dialog names
// every control by its Windows identifier.
#pragma once

#include <string>
#include <vector>

#include "setup/setup_view.h"

namespace orvella::test {

struct SetupDialogControl {
    int id;
    const char* caption;  // nullptr: no caption of its own (edits, pickers, bars)
    const char* group;    // innermost group box; "" for none
};

inline constexpr char kChartingGroup[] = "Charting Options";
inline constexpr char kLstGroup[] = "Orvella and Novascope LST File Build Process";
inline constexpr char kTypesGroup[] = "Additional LST File Types to Generate";
inline constexpr char kOptionsGroup[] = "Additional Options";

inline constexpr SetupDialogControl kSetupDialogControls[] = {
    {1, "Save/Quit", ""},
    {2, "Quit", ""},
    {1000, "Include Extended Trades", kChartingGroup},
    {1001, nullptr, kChartingGroup},
    {1002, nullptr, kChartingGroup},
    {1003, "Allow Streaming Updates", kChartingGroup},
    {1004, nullptr, kLstGroup},
    {1005, nullptr, kLstGroup},
    {1006, nullptr, kLstGroup},
    {1008, nullptr, kLstGroup},
    {1011, nullptr, kLstGroup},
    {1022, "Browse...", kLstGroup},
    {1009, "Download Symbol File", ""},
    {1010, "Generate LST Files", ""},
    {1023, "Check the feed client", ""},
    {1014, "Continuous", kTypesGroup},
    {1015, "Meridex Spot", kTypesGroup},
    {1016, "Meridex Spot Composite", kTypesGroup},
    {1017, "Logging", kOptionsGroup},
    {1021, "Reconnect to the feed client", kOptionsGroup},
    {1019, "Cancel", ""},
    {1020, nullptr, kLstGroup},
};

// One control as a line to compare: identifier, caption (buttons only) and
// group.
inline std::string ControlRow(int id, const std::string& caption, const std::string& group) {
    return std::to_string(id) + " \"" + caption + "\" in \"" + group + "\"";
}

inline std::vector<std::string> ExpectedControlRows() {
    std::vector<std::string> rows;
    for (const SetupDialogControl& control : kSetupDialogControls)
        rows.push_back(
            ControlRow(control.id, control.caption ? control.caption : "", control.group));
    return rows;
}

// Puts a dialog in the state it shows while a job runs, as both screenshots
// picture it.
inline void ShowAsDuringAJob(CSetupView& view) {
    view.AppendStatus("Beginning to process the symbol file!");
    view.AppendStatus("We have read in 131071 bytes in from the symbol file.");
    view.DisableButtons();
    view.ShowCancel(true);
    JobProgress progress;
    progress.done = 131071;
    progress.total = 331071;
    progress.bytesPerSecond = 65536;
    progress.secondsLeft = 3.05;
    view.ShowProgress(progress);
}

}  // namespace orvella::test
