// A private environment per test or benchmark run: a scratch folder holding
// the settings store, home, desktop folders, runtime folder and the charting
// host's install folder, with the environment variables pointed into it for
// as long as the object lives.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "testing/programs.h"

namespace orvella::testing {

// What answers when the plug-in starts the feed client's launcher.
enum class Launcher {
    // Settings only: the store and home; the desktop folders follow HOME and
    // PATH is left alone.
    kNone,
    // A stand-in Orvalink.exe first on PATH that writes its arguments, one a
    // line, to LauncherArguments() and exits 0.
    kRecorder,
    // The build's Orvalink.exe first on PATH; it finds a feed client started
    // with FeedPidFile() running and starts none of its own.
    kBuild,
};

// The plug-in's settings for a run.
struct CPluginSettings {
    bool streaming = false;
    bool extendedTrade = false;
    bool logging = true;
    // The trade-time filter texts; not written when empty.
    std::string beginFilter;
    std::string endFilter;
    // Reconnect to the feed client, written either way; with reconnectAbsent
    // the value is not written (the plug-in then reconnects).
    bool reconnect = false;
    bool reconnectAbsent = false;
};

class CPrivateEnvironment {
  public:
    // Creates the folders and points ORVELLA_REGISTRY, HOME, XDG_RUNTIME_DIR
    // (and, but for kNone, XDG_CONFIG_HOME, XDG_DOCUMENTS_DIR and PATH) into
    // them; ORVELLA_FEED_SIM_ARGS is unset. The destructor puts every
    // variable back, stops a feed client the launcher started and removes the
    // folder.
    explicit CPrivateEnvironment(Launcher launcher = Launcher::kRecorder,
                                 const CPrograms& programs = BuildPrograms());
    ~CPrivateEnvironment();
    CPrivateEnvironment(const CPrivateEnvironment&) = delete;
    CPrivateEnvironment& operator=(const CPrivateEnvironment&) = delete;

    const std::string& Dir() const { return m_dir; }
    const CPrograms& Programs() const { return m_programs; }
    std::string Registry() const { return m_dir + "/registry.db"; }
    std::string Home() const { return m_dir + "/home"; }
    // The charting host's install directory (NovaScopeRoot), where the
    // plug-in writes its log.
    std::string HostRoot() const { return m_dir + "/root"; }
    // Where the launcher looks for a running feed client.
    std::string FeedPidFile() const;
    std::vector<std::string> LauncherArguments() const;

    void WriteSettings(const CPluginSettings& settings) const;
    // The feed client's ports as the plug-in reads them.
    void WritePorts(int lookupPort, int level1Port) const;

    // Every file below the scratch folder, as paths relative to it.
    std::vector<std::string> Files() const;

    // For Windows programs: the settings written so far as a registry file
    // that replaces the whole settings tree; empty before the first write.
    std::string WindowsSettingsFile() const;

  private:
    void Set(const char* name, const std::string& value);
    void Unset(const char* name);
    void StoreDword(const std::string& path, int value) const;
    void StoreString(const std::string& path, const std::string& value) const;
    void WriteWindowsValue(const std::string& path, const std::string& data) const;

    std::string m_dir;
    Launcher m_launcher;
    CPrograms m_programs;
    std::map<std::string, std::optional<std::string>> m_saved;
    // Key path, value name, registry file data: what WindowsSettingsFile holds.
    mutable std::map<std::string, std::map<std::string, std::string>> m_windowsSettings;
};

}  // namespace orvella::testing
