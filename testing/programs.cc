#include "testing/programs.h"

#include <algorithm>
#include <cstdlib>

namespace orvella::testing {

const CPrograms& BuildPrograms() {
    static const CPrograms programs{
        {}, ORVELLA_NST_HOST_PATH, ORVELLA_PLUGIN_PATH, ORVELLA_FEED_SIM_PATH, ORVELLA_BIN_DIR};
    return programs;
}

const CPrograms& ChosenPrograms() {
    static const CPrograms programs = [] {
        const char* bin = std::getenv("ORVELLA_WINDOWS_BIN");
        if (bin == nullptr || *bin == '\0') {
            return BuildPrograms();
        }
        const char* emulator = std::getenv("ORVELLA_WINDOWS_EMULATOR");
        CPrograms windows;
        windows.windows = true;
        windows.hostPrefix = {emulator != nullptr && *emulator != '\0' ? emulator : "wine"};
        windows.host = std::string(bin) + "/nst-host.exe";
        windows.plugin = HostPath(windows, std::string(bin) + "/OrvellaForNST.dll");
        windows.feedSim = BuildPrograms().feedSim;
        windows.launcherDir = bin;
        return windows;
    }();
    return programs;
}

std::string HostPath(const CPrograms& programs, const std::string& path) {
    if (!programs.windows || path.empty() || path[0] != '/') {
        return path;
    }
    std::string windows = "Z:" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

}  // namespace orvella::testing
