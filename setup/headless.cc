#include "setup/headless.h"

#include <cstring>

#include "cli/command_line.h"
#include "platform/console.h"
#include "setup/console_view.h"
#include "setup/setup_controller.h"
#include "setup/version_text.h"

namespace orvella {

const char kSetupUsage[] =
    "Usage: OrvellaNSTSetup                      open the settings dialog\n"
    "       OrvellaNSTSetup --headless show      print the stored settings\n"
    "       OrvellaNSTSetup --headless download  download the symbol file\n"
    "       OrvellaNSTSetup --headless build-lst build the LST files\n"
    "       OrvellaNSTSetup --headless check [SYMBOL]\n"
    "                                            check the feed client set-up\n"
    "       OrvellaNSTSetup --help | --version\n"
    "\n"
    "Headless jobs print their status lines on standard output (on a terminal\n"
    "with one progress line redrawn in place) and messages on standard error;\n"
    "Ctrl-C cancels the job. Exit status: 0 done, 1 the job failed, was\n"
    "cancelled or did not start (check: a step failed), 2 bad command line, 3\n"
    "the LST files were built but lines of the symbol file were skipped.\n";

namespace {

// The controller whose job the user's interrupt cancels.
CSetupController* g_interruptible = nullptr;

void OnInterrupt() {
    if (g_interruptible != nullptr)
        g_interruptible->RequestCancel();
}

}  // namespace

int AnswerProgramOption(const char* first) {
    if (std::strcmp(first, "--version") == 0) {
        std::printf("OrvellaNSTSetup Version %s\n", OwnVersionText().c_str());
        return kExitSuccess;
    }
    const cli::CProgram program{"OrvellaNSTSetup", kSetupUsage};
    if (const int code = cli::AnswerStandardOption(program, first); code >= 0)
        return code;
    if (std::strncmp(first, "--", 2) == 0 && std::strcmp(first, "--headless") != 0)
        return cli::RefuseOption(program, first);
    return -1;
}

int RunHeadless(const char* job, const char* argument, CSetupSettingsStore* store, std::FILE* out,
                std::FILE* err) {
    if (argument != nullptr && std::strcmp(job, "check") != 0) {
        std::fputs(kSetupUsage, err);
        return kExitUsage;
    }
    CConsoleView view(out, err, platform::IsTerminal(out),
                      [out] { return platform::TerminalColumns(out); });
    CSetupController controller(&view, store);
    controller.LoadSettings();
    int code = kExitFailed;
    auto interruptible = [&](bool (CSetupController::*run)()) {
        g_interruptible = &controller;
        platform::SetInterruptHandler(OnInterrupt);
        const bool done = (controller.*run)();
        platform::SetInterruptHandler(nullptr);
        g_interruptible = nullptr;
        return done;
    };
    if (std::strcmp(job, "download") == 0) {
        code = interruptible(&CSetupController::DownloadSymbolFile) ? kExitSuccess : kExitFailed;
    } else if (std::strcmp(job, "build-lst") == 0) {
        if (interruptible(&CSetupController::BuildLstFiles))
            code = controller.LstLinesSkipped() > 0 ? kExitLinesSkipped : kExitSuccess;
    } else if (std::strcmp(job, "check") == 0) {
        code = controller.CheckFeedClient(argument != nullptr ? argument : "") ? kExitSuccess
                                                                               : kExitFailed;
    } else if (std::strcmp(job, "show") == 0) {
        view.PrintSettings();
        code = kExitSuccess;
    } else {
        std::fprintf(err, "unknown job %s (download, build-lst, show or check)\n", job);
        return kExitUsage;
    }
    std::fflush(out);
    return code;
}

}  // namespace orvella
