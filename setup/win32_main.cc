// OrvellaNSTSetup on Windows: the setup dialog, or with "--headless JOB" its
// handlers without a window.
#include <cstdio>
#include <cstring>

#include "cli/command_line.h"
#include "setup/headless.h"
#include "setup/settings_store.h"
#include "setup/version_text.h"
#include "setup/win32/setup_dlg.h"

int main(int argc, char** argv) {
    using namespace orvella;
    const char* first = argc >= 2 ? argv[1] : "";
    if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0) {
        std::fputs(kSetupUsage, stdout);
        return kExitSuccess;
    }
    if (std::strcmp(first, "--version") == 0) {
        std::printf("OrvellaNSTSetup Version %s\n", OwnVersionText().c_str());
        return kExitSuccess;
    }
    if (cli::IsOption(first) && std::strcmp(first, "--headless") != 0)
        return cli::RefuseOption({"OrvellaNSTSetup", kSetupUsage}, first);
    const auto store = orvella::MakeRegistrySettingsStore();
    if (std::strcmp(first, "--headless") == 0) {
        if (argc != 3) {
            std::fputs(kSetupUsage, stderr);
            return kExitUsage;
        }
        return orvella::RunHeadless(argv[2], store.get(), stdout, stderr);
    }
    // The console the program may have been given is not needed by the
    // dialog.
    FreeConsole();
    orvella::COrvellaNSTSetupDlg dialog(store.get());
    return dialog.DoModal() == IDOK ? 0 : 1;
}
