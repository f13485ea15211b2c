// "OrvellaNSTSetup --headless download|build-lst|show": the dialog's
// handlers without a window.
#pragma once

#include <cstdio>

#include "setup/settings_store.h"

namespace orvella {

// Loads the stored settings as the dialog does and runs the named job:
// "download" (the symbol file), "build-lst" (the LST files) or "show" (prints
// the settings). While a job runs, the user's interrupt (Ctrl-C) cancels it
// as the dialog's Cancel button does. Returns the program's exit code: 0 on
// success, 1 when the job failed, was cancelled or did not start, 2 for an
// unknown job.
int RunHeadless(const char* job, CSetupSettingsStore* store, std::FILE* out, std::FILE* err);

}  // namespace orvella
