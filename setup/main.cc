// OrvellaNSTSetup: the setup dialog, or with "--headless JOB" its handlers
// without a window; "--help" and "--version" print and end the program.
#include <cstdio>
#include <cstring>

#include "cli/command_line.h"
#include "platform/file_limits.h"
#include "setup/headless.h"
#include "setup/internet_session.h"
#include "setup/qt/setup_app.h"
#include "setup/settings_store.h"
#include "setup/version_text.h"

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
    // Single-dash options are the dialog toolkit's own (-platform, -style).
    if (std::strncmp(first, "--", 2) == 0 && std::strcmp(first, "--headless") != 0)
        return cli::RefuseOption({"OrvellaNSTSetup", kSetupUsage}, first);
    // Room for the exchange files a build keeps open, whatever the default.
    platform::RaiseOpenFileLimit();
    if (std::strcmp(first, "--headless") == 0) {
        if (argc != 3) {
            std::fputs(kSetupUsage, stderr);
            return kExitUsage;
        }
        if (!CCorvanInternetSession::InitializeLibrary()) {
            std::fprintf(stderr, "OrvellaNSTSetup: Windows sockets initialization failed.\n");
            return kExitFailed;
        }
        const auto store = MakeRegistrySettingsStore();
        return RunHeadless(argv[2], store.get(), stdout, stderr);
    }
    COrvellaNSTSetupApp app(argc, argv);
    return app.Run();
}
