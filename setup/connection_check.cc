#include "setup/connection_check.h"

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "platform/file_system.h"
#include "platform/text.h"
#include "settings/corvan_ports.h"
#include "setup/feed_probe.h"
#include "setup/lst_output_file.h"
#include "setup/symbol_file_location.h"

namespace orvella {

namespace {

constexpr char kStartFeed[] =
    "Start the feed client (Orvalink.exe) and log in; its ports are LookupPort and Level1Port "
    "under HKCU\\Software\\Corvan\\Orvella\\Startup.";

// Field k (1-based) of a comma-separated line; empty when missing.
std::string Field(const std::string& line, int k) {
    size_t start = 0;
    for (int i = 1; i < k; ++i) {
        start = line.find(',', start);
        if (start == std::string::npos)
            return std::string();
        ++start;
    }
    return line.substr(start, line.find(',', start) - start);
}

}  // namespace

std::string HostProgramName() {
    return std::string("nst-host") + platform::kProgramSuffix;
}

bool IsConnectedAdminLine(const std::string& line) {
    constexpr int kRequiredFields = 21;
    constexpr int kStateField = 13;
    int fields = 0;
    bool connected = false;
    for (size_t start = 0; start <= line.size();) {
        size_t end = line.find(',', start);
        if (end == std::string::npos)
            end = line.size();
        if (end > start && ++fields == kStateField)
            connected = line.compare(start, end - start, "Connected") == 0;
        start = end + 1;
    }
    return fields >= kRequiredFields && connected;
}

std::string FirstSymbolOf(const std::string& symbolFile) {
    std::ifstream file(symbolFile, std::ios::binary);
    std::string line;
    if (!std::getline(file, line) || !std::getline(file, line))
        return std::string();
    return line.substr(0, line.find_first_of("\t\r"));
}

void CConnectionCheck::Report(bool ok, const std::string& what, const std::string& detail) {
    ++m_steps;
    if (!ok)
        ++m_failed;
    m_view->AppendStatus((ok ? "ok      " : "FAILED  ") + what + ": " + detail);
    m_view->PumpEvents();
}

int CConnectionCheck::Run(std::string symbol, const std::string& symbolFile) {
    m_steps = 0;
    m_failed = 0;
    m_view->AppendStatus("Checking the feed client set-up:");
    CheckStore();
    CheckInstallDirectory();
    CCorvanPorts ports;
    const uint16_t lookup = ports.GetLookupPort();
    const uint16_t level1 = ports.GetLevel1Port();
    CheckPort("lookup port", lookup);
    CheckPort("level-one port", level1);
    CheckPort("admin port", kCheckAdminPort);
    CheckLogin();
    if (symbol.empty())
        symbol = FirstSymbolOf(symbolFile);
    if (symbol.empty()) {
        Report(false, "history and watch",
               "no symbol to ask for. Download the symbol file first, or name a symbol "
               "(OrvellaNSTSetup --headless check SYMBOL).");
    } else {
        CheckHistory(lookup, symbol);
        CheckLevelOne(level1, symbol);
    }
    m_view->AppendStatus(m_failed == 0 ? "All " + std::to_string(m_steps) + " checks passed."
                                       : std::to_string(m_failed) + " of " +
                                             std::to_string(m_steps) + " checks failed.");
    return m_failed;
}

void CConnectionCheck::CheckStore() {
    m_store->EnsureProductFolder();
    if (m_store->CanSave()) {
        Report(true, "settings store", "readable and writable");
    } else {
        Report(false, "settings store",
               "read-only, so changes cannot be saved. Run the setup program as the user who "
               "runs the charting host, or give that user write access to the settings store.");
    }
}

void CConnectionCheck::CheckInstallDirectory() {
    const char* what = "NovaScope Install directory";
    const std::string root = m_store->ReadString(kValueNovaScopeRoot, "");
    const std::string enter =
        " Enter the charting host's folder in the setup dialog (Browse...) and press Save/Quit.";
    if (root.empty()) {
        Report(false, what, std::string("not set.") + enter);
        return;
    }
    if (!IsFullPath(root) || !m_store->DirectoryExists(root)) {
        Report(false, what, root + " does not exist or is not a full path." + enter);
        return;
    }
    // The installer asks for the same program.
    const std::string host = HostProgramName();
    if (!platform::FileExists(platform::WidenText(root + kSetupPathSeparator + host))) {
        Report(false, what,
               root + " does not hold the charting host (no " + host +
                   " in it), so the plug-in and the LST files would not reach it." + enter);
        return;
    }
    // The plug-in's log and the LST files are written there.
    const std::string probe = root + "/OrvellaNSTSetup.check";
    errno = 0;
    std::FILE* file = std::fopen(probe.c_str(), "wb");
    if (file == nullptr) {
        const int error = errno != 0 ? errno : EIO;
        Report(false, what,
               root + " cannot be written (" + FileErrorText(error) +
                   "). The plug-in's log and the LST files go there: give your user write "
                   "access to it.");
        return;
    }
    std::fclose(file);
    std::remove(probe.c_str());
    Report(true, what, root + " holds the charting host (" + host + ") and is writable");
}

void CConnectionCheck::CheckPort(const char* name, uint16_t port) {
    const std::string what = std::string(name) + " " + std::to_string(port);
    CFeedProbe probe;
    if (!probe.Open(port, m_limits.connectMs)) {
        Report(false, what, probe.Failure() + ". " + kStartFeed);
        return;
    }
    Report(true, what, "listening");
}

void CConnectionCheck::CheckLogin() {
    const std::string what = "feed login (admin port " + std::to_string(kCheckAdminPort) + ")";
    CFeedProbe probe;
    std::string line;
    if (!probe.Open(kCheckAdminPort, m_limits.connectMs) ||
        !probe.ReadLine(&line, m_limits.answerMs)) {
        Report(false, what, "no status line: " + probe.Failure() + ". " + kStartFeed);
        return;
    }
    if (!IsConnectedAdminLine(line)) {
        Report(false, what,
               "the feed client is not connected to the feed. Log in to the feed client (user "
               "and password in the charting host), or wait a moment and check again.");
        return;
    }
    Report(true, what, "the feed client reports Connected");
}

void CConnectionCheck::CheckHistory(uint16_t port, const std::string& symbol) {
    const std::string request = "HDX," + symbol + ",,1";
    const std::string what = "history request " + request;
    CFeedProbe probe;
    if (!probe.Open(port, m_limits.connectMs) || !probe.SendText(request + "\r\n")) {
        Report(false, what, probe.Failure() + ". " + kStartFeed);
        return;
    }
    std::string line;
    for (int lines = 0;; ++lines) {
        if (!probe.ReadLine(&line, m_limits.historyMs)) {
            Report(false, what,
                   "no end of the reply after " + std::to_string(lines) +
                       " lines: " + probe.Failure() +
                       ". Restart the feed client; charts would not load either.");
            return;
        }
        if (line.rfind("E,", 0) == 0) {
            Report(false, what,
                   "the feed client answered with an error (" + line +
                       "). Check the symbol, or name another one.");
            return;
        }
        if (line.find("!ENDMSG!") != std::string::npos) {
            Report(true, what, "answered with " + std::to_string(lines) + " lines");
            return;
        }
    }
}

void CConnectionCheck::CheckLevelOne(uint16_t port, const std::string& symbol) {
    const std::string what = "level-one watch of " + symbol;
    CFeedProbe probe;
    if (!probe.Open(port, m_limits.connectMs)) {
        Report(false, what, probe.Failure() + ". " + kStartFeed);
        return;
    }
    std::string line;
    bool greeted = false;
    while (!greeted) {
        if (!probe.ReadLine(&line, m_limits.answerMs)) {
            Report(false, what,
                   "no customer-information line: " + probe.Failure() +
                       ". Restart the feed client; streaming would not start either.");
            return;
        }
        greeted = line.rfind("S,", 0) == 0 && Field(line, 2).find("CUST") != std::string::npos;
    }
    if (!probe.SendText("w" + symbol + "\r\n"))
        return Report(false, what, probe.Failure());
    for (;;) {
        if (!probe.ReadLine(&line, m_limits.answerMs)) {
            Report(false, what, "no line back for the watch: " + probe.Failure() + ".");
            return;
        }
        if (Field(line, 2) != symbol)
            continue;
        if (Field(line, 3) == "Not Found") {
            Report(false, what, "the feed client does not know " + symbol + ". Name another one.");
        } else {
            Report(true, what,
                   "greeted with the customer-information line; the watch was answered");
        }
        probe.SendText("r" + symbol + "\r\n");
        return;
    }
}

}  // namespace orvella
