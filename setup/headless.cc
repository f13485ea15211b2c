#include "setup/headless.h"

#include <cstring>

#include "platform/console.h"
#include "setup/console_view.h"
#include "setup/setup_controller.h"

namespace orvella {

namespace {

// The controller whose job the user's interrupt cancels.
CSetupController* g_interruptible = nullptr;

void OnInterrupt() {
    if (g_interruptible != nullptr)
        g_interruptible->RequestCancel();
}

}  // namespace

int RunHeadless(const char* job, CSetupSettingsStore* store, std::FILE* out, std::FILE* err) {
    CConsoleView view(out, err, platform::IsTerminal(out));
    CSetupController controller(&view, store);
    controller.LoadSettings();
    bool ok = false;
    auto interruptible = [&](bool (CSetupController::*run)()) {
        g_interruptible = &controller;
        platform::SetInterruptHandler(OnInterrupt);
        const bool done = (controller.*run)();
        platform::SetInterruptHandler(nullptr);
        g_interruptible = nullptr;
        return done;
    };
    if (std::strcmp(job, "download") == 0) {
        ok = interruptible(&CSetupController::DownloadSymbolFile);
    } else if (std::strcmp(job, "build-lst") == 0) {
        ok = interruptible(&CSetupController::BuildLstFiles);
    } else if (std::strcmp(job, "show") == 0) {
        view.PrintSettings();
        ok = true;
    } else {
        std::fprintf(err, "unknown job %s (download, build-lst or show)\n", job);
        return 2;
    }
    std::fflush(out);
    return ok ? 0 : 1;
}

}  // namespace orvella
