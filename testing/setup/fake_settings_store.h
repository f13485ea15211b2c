// Settings kept in memory, folders on the real file system; for tests of the
// logic that must not depend on the registry.
#pragma once

#include <map>
#include <string>

#include "setup/settings_store.h"

namespace orvella::test {

class CFakeSettingsStore : public CSetupSettingsStore {
  public:
    void EnsureProductFolder() override { ++productFolderCalls; }
    std::string ReadString(const std::string& name, const std::string& defaultValue) override;
    void WriteString(const std::string& name, const std::string& value) override;
    int32_t ReadDword(const std::string& name, int32_t defaultValue) override;
    void WriteDword(const std::string& name, int32_t value) override;
    bool DirectoryExists(const std::string& folder) override;
    bool EnsureDirectory(const std::string& folder) override;

    std::map<std::string, std::string> strings;
    std::map<std::string, int32_t> dwords;
    int writes = 0;
    int productFolderCalls = 0;
};

// A fresh empty folder under the system's temporary folder, removed with
// everything in it when the object goes.
class CTempFolder {
  public:
    CTempFolder();
    ~CTempFolder();
    const std::string& Path() const { return m_path; }

  private:
    std::string m_path;
};

// Whole content of a file ("" when it cannot be read); Exists tells apart.
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

}  // namespace orvella::test
