// Doubles and helpers shared by the boundary's tests: scripted plug-in
// parts, a message-box recorder, a private registry and log folder per test
// process, and the shared recording host library.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "plugin/boundary/host_feed.h"
#include "plugin/boundary/plugin_parts.h"
#include "testing/host_recorder.h"

namespace orvella::test {

class CFakeParts : public CPluginParts {
  public:
    void LoadHistory(const CHistoryRequestArgs& request) override;
    bool WatchSymbol(const std::wstring& symbol, float interval) override;
    bool UnwatchSymbol(const std::wstring& symbol, float interval) override;
    bool ProbeLevelOne() override;
    void LivenessTimerProc(void* context, bool fired) override;
    void ReleaseLevelOne() override {}

    bool watchResult = true;
    std::vector<CHistoryRequestArgs> loads;
    std::vector<std::wstring> watched;
    std::vector<std::wstring> unwatched;
    int probes = 0;
    // historyInProgress as LoadHistory saw it.
    int32_t historyFlagDuringLoad = -1;
};

struct Box {
    std::wstring caption;
    std::wstring text;
    unsigned flags = 0;
};

// Records every message box while alive.
class CBoxRecorder {
  public:
    CBoxRecorder();
    ~CBoxRecorder();
    std::vector<Box> boxes;
};

// A fresh folder under the system's temporary folder, removed at the end.
class CTempDir {
  public:
    CTempDir();
    ~CTempDir();
    const std::filesystem::path& path() const { return m_path; }

  private:
    std::filesystem::path m_path;
};

// Points the registry at a database of this test process (once per process)
// and deletes the plug-in's settings key.
void UsePrivateRegistry();
void WriteSettingDword(const std::wstring& name, uint32_t value);
void WriteSettingText(const std::wstring& name, const std::wstring& value);

// Turns logging on into folder (or off when folder is empty) and reopens
// the log.
void LogInto(const std::filesystem::path& folder);
// The contents of every log file in folder, in name order.
std::string ReadLogs(const std::filesystem::path& folder);

// The global state back to its load-time values, the log closed.
void ResetPluginState();

// A fresh plug-in for a test: the private registry, the load-time state, and
// host and parts as the host's library and the plug-in's parts.
void StartFreshPlugin(CHostFeed* host, CPluginParts* parts);

}  // namespace orvella::test
