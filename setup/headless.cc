#include "setup/headless.h"

#include <cstring>

#include "setup/console_view.h"
#include "setup/setup_controller.h"

namespace orvella {

const char kSetupUsage[] =
    "Usage: OrvellaNSTSetup                      open the settings dialog\n"
    "       OrvellaNSTSetup --headless show      print the stored settings\n"
    "       OrvellaNSTSetup --headless download  download the symbol file\n"
    "       OrvellaNSTSetup --headless build-lst build the LST files\n"
    "       OrvellaNSTSetup --help | --version\n"
    "\n"
    "Headless jobs print their status lines on standard output, progress and\n"
    "messages on standard error. Exit status: 0 done, 1 the job failed or did\n"
    "not start, 2 bad command line, 3 the LST files were built but lines of\n"
    "the symbol file were skipped.\n";

int RunHeadless(const char* job, CSetupSettingsStore* store, std::FILE* out, std::FILE* err) {
    CConsoleView view(out, err);
    CSetupController controller(&view, store);
    controller.LoadSettings();
    int code = kExitFailed;
    if (std::strcmp(job, "download") == 0) {
        code = controller.DownloadSymbolFile() ? kExitSuccess : kExitFailed;
    } else if (std::strcmp(job, "build-lst") == 0) {
        if (controller.BuildLstFiles())
            code = controller.LstLinesSkipped() > 0 ? kExitLinesSkipped : kExitSuccess;
    } else if (std::strcmp(job, "show") == 0) {
        view.PrintSettings();
        code = kExitSuccess;
    } else {
        std::fprintf(err, "unknown job %s (download, build-lst or show)\n", job);
        return kExitUsage;
    }
    std::fflush(out);
    return code;
}

}  // namespace orvella
