// OrvellaNSTSetup: the setup dialog, or with "--headless JOB" its handlers
// without a window; "--help" and "--version" print and end the program.
#include <cstdio>
#include <cstring>

#include "platform/file_limits.h"
#include "setup/headless.h"
#include "setup/internet_session.h"
#include "setup/qt/setup_app.h"
#include "setup/settings_store.h"

int main(int argc, char** argv) {
    using namespace orvella;
    const char* first = argc >= 2 ? argv[1] : "";
    if (const int code = AnswerProgramOption(first); code >= 0)
        return code;
    // Room for the exchange files a build keeps open, whatever the default.
    platform::RaiseOpenFileLimit();
    if (std::strcmp(first, "--headless") == 0) {
        if (argc != 3 && argc != 4) {
            std::fputs(kSetupUsage, stderr);
            return kExitUsage;
        }
        if (!CCorvanInternetSession::InitializeLibrary()) {
            std::fprintf(stderr, "OrvellaNSTSetup: Windows sockets initialization failed.\n");
            return kExitFailed;
        }
        const auto store = MakeRegistrySettingsStore();
        return RunHeadless(argv[2], argc == 4 ? argv[3] : nullptr, store.get(), stdout, stderr);
    }
    COrvellaNSTSetupApp app(argc, argv);
    return app.Run();
}
