// The settings the setup program reads and writes, by value name under the
// plug-in's settings key, and the folder checks of its jobs. The program uses
// the registry (registry_settings_store.h); tests may put a double in its
// place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace orvella {

class CSetupSettingsStore {
  public:
    virtual ~CSetupSettingsStore() = default;

    // Called where a routine constructs its registry object: makes sure the
    // per-user product data folder exists (the result is ignored).
    virtual void EnsureProductFolder() = 0;

    // One value under the plug-in's settings key; reads yield the default
    // when the value cannot be read, writes that fail are silent.
    virtual std::string ReadString(const std::string& name, const std::string& defaultValue) = 0;
    virtual void WriteString(const std::string& name, const std::string& value) = 0;
    virtual int32_t ReadDword(const std::string& name, int32_t defaultValue) = 0;
    virtual void WriteDword(const std::string& name, int32_t value) = 0;

    // False when the settings can be read but changes cannot be saved.
    virtual bool CanSave() { return true; }

    // True when the folder exists (any entry is found in it).
    virtual bool DirectoryExists(const std::string& folder) = 0;
    // Creates the folder and the missing folders above it; true when the
    // whole path exists afterwards.
    virtual bool EnsureDirectory(const std::string& folder) = 0;
};

// The registry of the current user.
std::unique_ptr<CSetupSettingsStore> MakeRegistrySettingsStore();

// Value names.
inline constexpr char kValueExtendedTrade[] = "ExtendedTrade";
inline constexpr char kValueStreaming[] = "Streaming";
inline constexpr char kValueBeginFilterTime[] = "BeginFilterTime";
inline constexpr char kValueEndFilterTime[] = "EndFilterTime";
inline constexpr char kValueWebsite[] = "Website";
inline constexpr char kValuePort[] = "Port";
inline constexpr char kValueNovaScopeRoot[] = "NovaScopeRoot";
inline constexpr char kValueContinuous[] = "Continuous";
inline constexpr char kValueMeridexSpot[] = "MeridexSpot";
inline constexpr char kValueMeridexSpotComposite[] = "MeridexSpotComposite";
inline constexpr char kValueLogging[] = "Logging";

}  // namespace orvella
