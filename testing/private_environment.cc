#include "testing/private_environment.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "settings/registry_access.h"
#include "settings/settings_keys.h"
#include "testing/process.h"

namespace orvella::testing {

namespace fs = std::filesystem;

namespace {

// The whole settings tree of the feed client's maker.
constexpr char kCorvanKeyA[] = "Software\\Corvan";

// A registry file's quoted text: quotes and backslashes escaped.
std::string RegFileText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

}  // namespace

CPrivateEnvironment::CPrivateEnvironment(Launcher launcher, const CPrograms& programs)
    : m_launcher(launcher), m_programs(programs) {
    char pattern[] = "/tmp/orvella-test-XXXXXX";
    m_dir = mkdtemp(pattern);
    for (const char* folder : {"/home", "/config", "/documents", "/runtime", "/root", "/bin"}) {
        fs::create_directories(m_dir + folder);
    }
    // The launcher keeps its pid file only in a runtime folder no one else
    // may write to, whatever the umask.
    fs::permissions(m_dir + "/runtime", fs::perms::owner_all, fs::perm_options::replace);
    Set("ORVELLA_REGISTRY", Registry());
    Set("HOME", Home());
    Set("XDG_RUNTIME_DIR", m_dir + "/runtime");
    Unset("ORVELLA_FEED_SIM_ARGS");
    if (launcher == Launcher::kNone) {
        Unset("XDG_CONFIG_HOME");
        Unset("XDG_DOCUMENTS_DIR");
        return;
    }
    Set("XDG_CONFIG_HOME", m_dir + "/config");
    Set("XDG_DOCUMENTS_DIR", m_dir + "/documents");
    if (m_programs.windows) {
        // The Windows launcher beside nst-host.exe writes its arguments here.
        Set("ORVELLA_LAUNCH_RECORD", HostPath(m_programs, m_dir + "/launcher-args"));
    }
    const char* path = std::getenv("PATH");
    const std::string rest = path != nullptr ? path : "/usr/bin:/bin";
    if (launcher == Launcher::kBuild) {
        Set("PATH", m_programs.launcherDir + ":" + rest);
        return;
    }
    Set("PATH", m_dir + "/bin:" + rest);
    // The launcher's only job here: show what it was given.
    const std::string script = m_dir + "/bin/Orvalink.exe";
    std::ofstream out(script);
    out << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << m_dir
        << "/launcher-args'\nexit 0\n";
    out.close();
    chmod(script.c_str(), 0700);
}

CPrivateEnvironment::~CPrivateEnvironment() {
    // A feed client the launcher started itself (ours was not found running)
    // must not outlive the run; ours removes its pid file when it stops.
    const std::string launched = ReadWholeFile(FeedPidFile());
    if (m_launcher == Launcher::kBuild && !launched.empty()) {
        const pid_t pid = std::atoi(launched.c_str());
        if (pid > 0) {
            kill(pid, SIGTERM);
        }
    }
    for (const auto& [name, value] : m_saved) {
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
}

void CPrivateEnvironment::Set(const char* name, const std::string& value) {
    if (m_saved.count(name) == 0) {
        const char* old = std::getenv(name);
        m_saved[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
    }
    setenv(name, value.c_str(), 1);
}

void CPrivateEnvironment::Unset(const char* name) {
    if (m_saved.count(name) == 0) {
        const char* old = std::getenv(name);
        m_saved[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
    }
    unsetenv(name);
}

std::string CPrivateEnvironment::FeedPidFile() const {
    return m_dir + "/runtime/orvella-feed-sim-" + std::to_string(getuid()) + ".pid";
}

std::vector<std::string> CPrivateEnvironment::LauncherArguments() const {
    return ReadLines(m_dir + "/launcher-args");
}

void CPrivateEnvironment::WriteSettings(const CPluginSettings& settings) const {
    StoreDword(kStreamingPathA, settings.streaming ? 1 : 0);
    StoreDword(kExtendedTradePathA, settings.extendedTrade ? 1 : 0);
    StoreDword(kLoggingPathA, settings.logging ? 1 : 0);
    StoreString(kNovaScopeRootPathA, HostPath(m_programs, HostRoot()));
    if (!settings.reconnectAbsent) {
        StoreDword(kReconnectPathA, settings.reconnect ? 1 : 0);
    }
    if (!settings.beginFilter.empty()) {
        StoreString(kBeginFilterTimePathA, settings.beginFilter);
    }
    if (!settings.endFilter.empty()) {
        StoreString(kEndFilterTimePathA, settings.endFilter);
    }
}

void CPrivateEnvironment::WritePorts(int lookupPort, int level1Port) const {
    StoreString(std::string(kStartupKeyA) + "\\LookupPort", std::to_string(lookupPort));
    StoreString(std::string(kStartupKeyA) + "\\Level1Port", std::to_string(level1Port));
}

void CPrivateEnvironment::StoreDword(const std::string& path, int value) const {
    if (!m_programs.windows) {
        WriteRegDword(value, path);
        return;
    }
    char data[16];
    std::snprintf(data, sizeof data, "dword:%08x", static_cast<unsigned>(value));
    WriteWindowsValue(path, data);
}

void CPrivateEnvironment::StoreString(const std::string& path, const std::string& value) const {
    if (!m_programs.windows) {
        orvella::WriteRegString(path, value);
        return;
    }
    WriteWindowsValue(path, RegFileText(value));
}

void CPrivateEnvironment::WriteWindowsValue(const std::string& path,
                                            const std::string& data) const {
    const size_t cut = path.rfind('\\');
    m_windowsSettings[path.substr(0, cut)][path.substr(cut + 1)] = data;
    // The whole tree is replaced, so nothing of an earlier run remains.
    std::ofstream file(m_dir + "/settings.reg", std::ios::binary);
    file << "REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\" << kCorvanKeyA << "]\r\n";
    for (const auto& [key, values] : m_windowsSettings) {
        file << "\r\n[HKEY_CURRENT_USER\\" << key << "]\r\n";
        for (const auto& [name, text] : values) {
            file << RegFileText(name) << "=" << text << "\r\n";
        }
    }
}

std::string CPrivateEnvironment::WindowsSettingsFile() const {
    return m_windowsSettings.empty() ? std::string() : m_dir + "/settings.reg";
}

std::vector<std::string> CPrivateEnvironment::Files() const {
    std::vector<std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(m_dir)) {
        if (!entry.is_directory()) {
            files.push_back(fs::relative(entry.path(), m_dir).string());
        }
    }
    return files;
}

}  // namespace orvella::testing
