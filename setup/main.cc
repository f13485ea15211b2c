// OrvellaNSTSetup: the setup dialog, or with "--headless JOB" its handlers
// without a window.
#include <cstdio>
#include <cstring>

#include "platform/file_limits.h"
#include "setup/headless.h"
#include "setup/internet_session.h"
#include "setup/qt/setup_app.h"
#include "setup/settings_store.h"

int main(int argc, char** argv) {
    // A build keeps every exchange file open at once.
    platform::RaiseOpenFileLimit();
    if (argc >= 2 && std::strcmp(argv[1], "--headless") == 0) {
        if (argc != 3) {
            std::fprintf(stderr, "usage: %s --headless download|build-lst|show\n", argv[0]);
            return 2;
        }
        if (!orvella::CCorvanInternetSession::InitializeLibrary()) {
            std::fprintf(stderr, "OrvellaNSTSetup: Windows sockets initialization failed.\n");
            return 1;
        }
        const auto store = orvella::MakeRegistrySettingsStore();
        return orvella::RunHeadless(argv[2], store.get(), stdout, stderr);
    }
    orvella::COrvellaNSTSetupApp app(argc, argv);
    return app.Run();
}
