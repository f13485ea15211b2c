// OrvellaNSTSetup on Windows: the setup dialog, or with "--headless JOB" its
// handlers without a window.
#include <cstdio>
#include <cstring>

#include "setup/headless.h"
#include "setup/settings_store.h"
#include "setup/win32/setup_dlg.h"

int main(int argc, char** argv) {
    using namespace orvella;
    const char* first = argc >= 2 ? argv[1] : "";
    if (const int code = AnswerProgramOption(first); code >= 0)
        return code;
    const auto store = orvella::MakeRegistrySettingsStore();
    if (std::strcmp(first, "--headless") == 0) {
        if (argc != 3 && argc != 4) {
            std::fputs(kSetupUsage, stderr);
            return kExitUsage;
        }
        return orvella::RunHeadless(argv[2], argc == 4 ? argv[3] : nullptr, store.get(), stdout,
                                    stderr);
    }
    // The console the program may have been given is not needed by the
    // dialog.
    FreeConsole();
    orvella::COrvellaNSTSetupDlg dialog(store.get());
    return dialog.DoModal() == IDOK ? 0 : 1;
}
