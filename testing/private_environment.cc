#include "testing/private_environment.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "settings/registry_access.h"
#include "settings/settings_keys.h"
#include "testing/process.h"

namespace orvella::testing {

namespace fs = std::filesystem;

CPrivateEnvironment::CPrivateEnvironment(Launcher launcher, const CPrograms& programs)
    : m_launcher(launcher), m_programs(programs) {
    char pattern[] = "/tmp/orvella-test-XXXXXX";
    m_dir = mkdtemp(pattern);
    for (const char* folder : {"/home", "/config", "/documents", "/runtime", "/root", "/bin"}) {
        fs::create_directories(m_dir + folder);
    }
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
    WriteRegDword(settings.streaming ? 1 : 0, std::string(kStreamingPathA));
    WriteRegDword(settings.extendedTrade ? 1 : 0, std::string(kExtendedTradePathA));
    WriteRegDword(settings.logging ? 1 : 0, std::string(kLoggingPathA));
    WriteRegString(std::string(kNovaScopeRootPathA), HostRoot());
    if (!settings.beginFilter.empty()) {
        WriteRegString(std::string(kBeginFilterTimePathA), settings.beginFilter);
    }
    if (!settings.endFilter.empty()) {
        WriteRegString(std::string(kEndFilterTimePathA), settings.endFilter);
    }
}

void CPrivateEnvironment::WritePorts(int lookupPort, int level1Port) const {
    WriteRegString(std::string(kStartupKeyA) + "\\LookupPort", std::to_string(lookupPort));
    WriteRegString(std::string(kStartupKeyA) + "\\Level1Port", std::to_string(level1Port));
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
