#include "tests/plugin/boundary/boundary_test_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/message_box.h"
#include "platform/registry.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/host_feed.h"
#include "plugin/boundary/plugin_parts.h"
#include "plugin/diagnostics/log.h"
#include "testing/private_environment.h"

namespace orvella::test {

namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Corvan\\Orvella\\OrvellaForNST";

void RecordBox(const std::wstring& caption, const std::wstring& text, unsigned flags,
               void* context) {
    static_cast<CBoxRecorder*>(context)->boxes.push_back(Box{caption, text, flags});
}

void WriteSetting(const std::wstring& name, uint32_t type, const uint8_t* data, uint32_t size) {
    platform::RegKey* key = nullptr;
    if (platform::RegCreateKey(platform::Hive::kCurrentUser, kSettingsKey, platform::kKeyAllAccess,
                               &key) == platform::kRegSuccess) {
        platform::RegSetValue(key, name, type, data, size);
        platform::RegCloseKey(key);
    }
}

}  // namespace

void CFakeParts::LoadHistory(const CHistoryRequestArgs& request) {
    loads.push_back(request);
    historyFlagDuringLoad = Globals().historyInProgress.load();
}

bool CFakeParts::WatchSymbol(const std::wstring& symbol, float interval) {
    watched.push_back(symbol);
    return watchResult;
}

bool CFakeParts::UnwatchSymbol(const std::wstring& symbol, float interval) {
    unwatched.push_back(symbol);
    return true;
}

bool CFakeParts::ProbeLevelOne() {
    ++probes;
    return false;
}

void CFakeParts::LivenessTimerProc(void* context, bool fired) {}

CBoxRecorder::CBoxRecorder() {
    platform::SetMessageBoxObserver(&RecordBox, this);
}

CBoxRecorder::~CBoxRecorder() {
    platform::SetMessageBoxObserver(nullptr, nullptr);
}

CTempDir::CTempDir() {
    std::random_device random;
    m_path = std::filesystem::temp_directory_path() /
             ("orvella-boundary-" + std::to_string(getpid()) + "-" + std::to_string(random()));
    std::filesystem::create_directories(m_path);
}

CTempDir::~CTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

void UsePrivateRegistry() {
    // One store for the test process, emptied for every test.
    static const testing::CPrivateEnvironment environment(testing::Launcher::kNone);
    platform::RegDeleteTree(platform::Hive::kCurrentUser, kSettingsKey);
}

void WriteSettingDword(const std::wstring& name, uint32_t value) {
    WriteSetting(name, platform::kRegDword, reinterpret_cast<const uint8_t*>(&value),
                 sizeof(value));
}

void WriteSettingText(const std::wstring& name, const std::wstring& value) {
    std::u16string units(value.begin(), value.end());
    WriteSetting(name, platform::kRegSz, reinterpret_cast<const uint8_t*>(units.c_str()),
                 static_cast<uint32_t>((units.size() + 1) * sizeof(char16_t)));
}

void LogInto(const std::filesystem::path& folder) {
    CloseLogFile();
    WriteSettingDword(L"Logging", folder.empty() ? 0 : 1);
    WriteSettingText(L"NovaScopeRoot", folder.wstring());
    OpenLogFile();
}

std::string ReadLogs(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".log") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    std::string all;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        all += text.str();
    }
    return all;
}

void StartFreshPlugin(CHostFeed* host, CPluginParts* parts) {
    UsePrivateRegistry();
    ResetPluginState();
    SetHostFeed(host);
    SetPluginParts(parts);
}

void ResetPluginState() {
    CloseLogFile();
    CGlobalState& state = Globals();
    state.userId.clear();
    state.password.clear();
    state.credentialsKnown = 0;
    state.streamingEnabled = 0;
    state.extendedTradesEnabled = 0;
    state.beginFilterText.clear();
    state.endFilterText.clear();
    state.tradeFilterOn = 0;
    state.filterBeginHour = state.filterBeginMinute = state.filterBeginSecond = 0;
    state.filterEndHour = state.filterEndMinute = state.filterEndSecond = 0;
    state.timerQueue = nullptr;
    state.livenessTimer = nullptr;
    state.historyInProgress = 0;
    state.pluginDisabled = false;
}

}  // namespace orvella::test
