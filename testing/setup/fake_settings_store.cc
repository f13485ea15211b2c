#include "testing/setup/fake_settings_store.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "testing/setup/test_os.h"

namespace orvella::test {

std::string CFakeSettingsStore::ReadString(const std::string& name,
                                           const std::string& defaultValue) {
    const auto found = strings.find(name);
    return found == strings.end() ? defaultValue : found->second;
}

void CFakeSettingsStore::WriteString(const std::string& name, const std::string& value) {
    strings[name] = value;
    ++writes;
}

int32_t CFakeSettingsStore::ReadDword(const std::string& name, int32_t defaultValue) {
    const auto found = dwords.find(name);
    return found == dwords.end() ? defaultValue : found->second;
}

void CFakeSettingsStore::WriteDword(const std::string& name, int32_t value) {
    dwords[name] = value;
    ++writes;
}

bool CFakeSettingsStore::DirectoryExists(const std::string& folder) {
    std::error_code error;
    return std::filesystem::is_directory(folder, error);
}

bool CFakeSettingsStore::EnsureDirectory(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error);
}

CTempFolder::CTempFolder() {
    static std::atomic<int> counter{0};
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        std::ostringstream name;
        name << "orvella-setup-test-" << CurrentProcessId() << "-" << counter++;
        const auto path = base / name.str();
        if (std::filesystem::create_directory(path)) {
            m_path = path.string();
            return;
        }
    }
}

CTempFolder::~CTempFolder() {
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

}  // namespace orvella::test
