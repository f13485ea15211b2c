// Runs script commands against a loaded plug-in on the calling thread, the
// way a desktop charting host drives its data plug-in: the platform message
// loop runs between commands (pending messages are dispatched after each
// one) and while a `pump` lasts; while an export runs the plug-in pumps
// itself.
#pragma once

#include <string>

#include "host/call_recorder.h"
#include "host/plugin_library.h"
#include "host/script.h"

namespace nsthost {

enum class RunResult {
    kOk,
    kFailed,      // the command could not run (the plug-in is not loaded)
    kLoadFailed,  // load: the plug-in could not be loaded
};

class CHostSession {
  public:
    // recorder may be null (nothing recorded). defaultPath is what `load`
    // without a path loads.
    CHostSession(CCallRecorder* recorder, std::string defaultPath);

    // Loads the plug-in; with the recorder a "Load" line is written.
    bool Load(const std::string& path, std::string* error);
    // Unloads it if loaded; with the recorder an "Unload" line is written.
    void Unload();
    bool IsLoaded() const { return m_plugin.IsLoaded(); }

    // Runs one command, then dispatches the messages it left pending.
    RunResult Run(const ScriptCommand& command, std::string* error);

    // Dispatches messages until none is pending, for at most two seconds.
    void DrainMessages();
    // Waits for and dispatches messages for this long.
    void PumpFor(double seconds);
    // The platform's quit message was taken; the host should stop.
    bool QuitRequested() const { return m_quit; }

  private:
    CPluginLibrary m_plugin;
    CCallRecorder* m_recorder;
    std::string m_defaultPath;
    bool m_quit = false;
};

}  // namespace nsthost
