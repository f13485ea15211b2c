// Load and unload of the plug-in library: installs the bindings and runs the
// application object's start-up and exit.
#include "plugin/boundary/bindings.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/plugin_app.h"

namespace {

constinit orvella::COrvellaForNSTApp theApp;

// No exception may leave the load or the unload: it would end the host.
// One that leaves the start-up counts as a failed start-up.
bool StartUp() {
    try {
        return theApp.InitInstance();
    } catch (...) {
        return false;
    }
}

void Exit() {
    try {
        theApp.ExitInstance();
    } catch (...) {
    }
}

__attribute__((constructor)) void LoadPlugin() {
    orvella::SetHostFeed(&orvella::BoundHostFeed());
    orvella::SetPluginParts(&orvella::BoundPluginParts());
    if (!StartUp()) {
        // The library cannot refuse to load here; it exits at once and its
        // exports refuse every call instead.
        Exit();
        orvella::Globals().pluginDisabled = true;
    }
}

__attribute__((destructor)) void UnloadPlugin() {
    if (!orvella::Globals().pluginDisabled) {
        Exit();
    }
}

}  // namespace
