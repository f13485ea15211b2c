// OrvellaNSTSetup on Windows: the setup dialog, or with "--headless JOB" its
// handlers without a window.
#include <cstdio>
#include <cstring>

#include "setup/headless.h"
#include "setup/settings_store.h"
#include "setup/win32/setup_dlg.h"

int main(int argc, char** argv) {
    const auto store = orvella::MakeRegistrySettingsStore();
    if (argc >= 2 && std::strcmp(argv[1], "--headless") == 0) {
        if (argc != 3) {
            std::fprintf(stderr, "usage: %s --headless download|build-lst|show\n", argv[0]);
            return 2;
        }
        return orvella::RunHeadless(argv[2], store.get(), stdout, stderr);
    }
    // The console the program may have been given is not needed by the
    // dialog.
    FreeConsole();
    orvella::COrvellaNSTSetupDlg dialog(store.get());
    return dialog.DoModal() == IDOK ? 0 : 1;
}
