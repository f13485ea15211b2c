// OrvellaNSTSetup on Windows: with "--headless JOB" the dialog's handlers
// without a window.
#include <cstdio>
#include <cstring>

#include "setup/headless.h"
#include "setup/settings_store.h"

int main(int argc, char** argv) {
    if (argc != 3 || std::strcmp(argv[1], "--headless") != 0) {
        std::fprintf(stderr, "usage: %s --headless download|build-lst|show\n", argv[0]);
        return 2;
    }
    const auto store = orvella::MakeRegistrySettingsStore();
    return orvella::RunHeadless(argv[2], store.get(), stdout, stderr);
}
