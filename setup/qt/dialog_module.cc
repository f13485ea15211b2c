#include "setup/qt/dialog_module.h"

#include <type_traits>

#include "platform/platform_export.h"
#include "setup/qt/setup_app.h"

extern "C" ORVELLA_SHARED_SYMBOL int OrvellaNSTSetupDialogMain(int argc, char** argv) {
    static_assert(std::is_same_v<decltype(&OrvellaNSTSetupDialogMain), orvella::SetupDialogMain>);
    orvella::COrvellaNSTSetupApp app(argc, argv);
    return app.Run();
}
