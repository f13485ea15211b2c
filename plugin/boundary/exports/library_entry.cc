// Load and unload of the plug-in library: installs the bindings and runs the
// application object's start-up and exit.
#include "plugin/boundary/exports/bindings.h"
#include "plugin/boundary/exports/plugin_app.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/row_gate.h"

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
    // Rows pass the gate that a reconnect's gap fill needs; with reconnecting
    // off it hands everything on.
    orvella::RowGate().SetInner(&orvella::BoundHostFeed());
    orvella::SetHostFeed(&orvella::RowGate());
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
