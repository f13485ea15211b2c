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
    // The host and the plug-in are Windows programs (run by the emulator in
    // hostPrefix): the paths they are given go over as drive Z:, and the
    // plug-in's settings go into the emulator's registry.
    bool windows = false;
};

// The programs of this build (empty paths where a program is not built).
const CPrograms& BuildPrograms();

// The Windows build's nst-host.exe and OrvellaForNST.dll from the folder that
// ORVELLA_WINDOWS_BIN names, under the emulator ORVELLA_WINDOWS_EMULATOR
// (default wine), with this build's feed client; its Orvalink.exe (tests/win32)
// only writes its arguments, to the file ORVELLA_LAUNCH_RECORD names. The
// build's own programs when ORVELLA_WINDOWS_BIN is not set.
const CPrograms& ChosenPrograms();

// A path as the programs' host sees it.
std::string HostPath(const CPrograms& programs, const std::string& path);

}  // namespace orvella::testing
