// The programs an end-to-end run starts. The build's own are the default; a
// runner for another system (an emulator in front of the host, another
// plug-in file) hands its own set to the environment it creates, and every
// scenario runs unchanged.
#pragma once

#include <string>
#include <vector>

namespace orvella::testing {

struct CPrograms {
    // Put in front of the host's command line (an emulator and its options);
    // empty to start the host directly.
    std::vector<std::string> hostPrefix;
    std::string host;     // nst-host
    std::string plugin;   // the plug-in the host loads
    std::string feedSim;  // orvella-feed-sim
    // The folder holding the feed client's launcher (Orvalink.exe), put first
    // on PATH when a run uses the real launcher.
    std::string launcherDir;
};

// The programs of this build (empty paths where a program is not built).
const CPrograms& BuildPrograms();

}  // namespace orvella::testing
