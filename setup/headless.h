// "OrvellaNSTSetup --headless download|build-lst|show|check": the dialog's
// handlers without a window.
#pragma once

#include <cstdio>

#include "setup/settings_store.h"

namespace orvella {

// Exit codes of the program's headless jobs and options.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailed = 1;        // the job failed or did not start
inline constexpr int kExitUsage = 2;         // unknown job or malformed command line
inline constexpr int kExitLinesSkipped = 3;  // the LST build ended but skipped lines

// What "--help" prints.
extern const char kSetupUsage[];

// Answers the program's own options before anything else starts: "--help"
// and "-h" print the usage, "--version" the version (kExitSuccess); any other
// "--" option but "--headless" is refused with the usage on standard error
// (kExitUsage). -1 for anything else: "--headless", nothing, or the dialog
// toolkit's own single-dash options.
int AnswerProgramOption(const char* first);

// Loads the stored settings as the dialog does and runs the named job:
// "download" (the symbol file), "build-lst" (the LST files) or "show" (prints
// the settings). While a job runs, the user's interrupt (Ctrl-C) cancels it
// as the dialog's Cancel button does (exit code kExitFailed). Returns the
// program's exit code (above).
// "check" takes the symbol to ask for as argument (may be null).
int RunHeadless(const char* job, const char* argument, CSetupSettingsStore* store, std::FILE* out,
                std::FILE* err);

}  // namespace orvella
