#include "setup/headless.h"

#include <cstring>

#include "setup/console_view.h"
#include "setup/setup_controller.h"

namespace orvella {

int RunHeadless(const char* job, CSetupSettingsStore* store, std::FILE* out, std::FILE* err) {
    CConsoleView view(out, err);
    CSetupController controller(&view, store);
    controller.LoadSettings();
    bool ok = false;
    if (std::strcmp(job, "download") == 0) {
        ok = controller.DownloadSymbolFile();
    } else if (std::strcmp(job, "build-lst") == 0) {
        ok = controller.BuildLstFiles();
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
