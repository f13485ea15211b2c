// OrvellaNSTSetup: the setup dialog, or with "--headless JOB" its handlers
// without a window; "--help" and "--version" print and end the program. The
// dialog lives in a module of its own that only the dialog's path loads.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/file_limits.h"
#include "platform/file_system.h"
#include "platform/library.h"
#include "platform/text.h"
#include "setup/headless.h"
#include "setup/internet_session.h"
#include "setup/qt/dialog_module.h"
#include "setup/settings_store.h"

namespace {

// Where the dialog's module is, relative to the program's folder.
constexpr char kDialogModule[] = ORVELLA_SETUP_DIALOG_MODULE;

void ProgramAnchor() {}

int RunDialog(int argc, char** argv) {
    const std::filesystem::path program(platform::NarrowText(
        platform::ModulePathOf(reinterpret_cast<const void*>(&ProgramAnchor))));
    const std::string path = (program.parent_path() / kDialogModule).lexically_normal().string();
    std::string error;
    // Kept loaded until the program ends: the toolkit does not expect to be
    // unloaded.
    platform::Library* module = platform::LoadLibrary(path, &error);
    void* entry = module != nullptr
                      ? platform::FindExport(module, orvella::kSetupDialogEntry, &error)
                      : nullptr;
    if (entry == nullptr) {
        std::fprintf(stderr, "OrvellaNSTSetup: the dialog cannot start: %s\n", error.c_str());
        return orvella::kExitFailed;
    }
    return reinterpret_cast<orvella::SetupDialogMain>(entry)(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace orvella;
    const char* first = argc >= 2 ? argv[1] : "";
    if (const int code = AnswerProgramOption(first); code >= 0)
        return code;
    // Room for the exchange files a build keeps open, whatever the default.
    platform::RaiseOpenFileLimit();
    if (std::strcmp(first, "--headless") != 0)
        return RunDialog(argc, argv);
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
