// The setup program's settings in the current user's registry, through the
// registry access layer.
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "settings/corvan_reg_base.h"
#include "settings/ensure_directory.h"
#include "settings/reg_text.h"
#include "settings/registry_access.h"
#include "settings/settings_keys.h"
#include "setup/settings_store.h"

namespace orvella {

namespace {

std::string FullPath(const std::string& name) {
    return std::string(kSettingsKeyA) + "\\" + name;
}

class CRegistrySettingsStore : public CSetupSettingsStore {
  public:
    void EnsureProductFolder() override { COrvellaForNSTReg reg; }
    std::string ReadString(const std::string& name, const std::string& defaultValue) override {
        return ReadRegString(FullPath(name), defaultValue);
    }
    void WriteString(const std::string& name, const std::string& value) override {
        WriteRegString(FullPath(name), value);
    }
    int32_t ReadDword(const std::string& name, int32_t defaultValue) override {
        return ReadRegDword(FullPath(name), defaultValue);
    }
    void WriteDword(const std::string& name, int32_t value) override {
        WriteRegDword(value, FullPath(name));
    }
    bool CanSave() override { return !platform::RegStoreIsReadOnly(); }
    bool DirectoryExists(const std::string& folder) override {
        return platform::DirectoryExists(platform::WidenText(folder));
    }
    bool EnsureDirectory(const std::string& folder) override {
        return orvella::EnsureDirectory(folder);
    }
};

}  // namespace

std::unique_ptr<CSetupSettingsStore> MakeRegistrySettingsStore() {
    return std::make_unique<CRegistrySettingsStore>();
}

}  // namespace orvella
