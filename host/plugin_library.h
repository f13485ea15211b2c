// A data-pump plug-in loaded into the host: the shared library and its three
// exports.
#pragma once

#include <string>

#include "plugin/boundary/exports/OrvellaForNST.h"

namespace platform {
struct Library;
}

namespace nsthost {

class CPluginLibrary {
  public:
    CPluginLibrary() = default;
    ~CPluginLibrary();
    CPluginLibrary(const CPluginLibrary&) = delete;
    CPluginLibrary& operator=(const CPluginLibrary&) = delete;

    // Loads the library (its start-up runs now) and resolves the three
    // exports. On failure nothing stays loaded and *error says why.
    bool Load(const std::string& path, std::string* error);
    // Unloads it (its exit runs now). Nothing when not loaded.
    void Unload();
    bool IsLoaded() const { return m_library != nullptr; }

    UserIDPasswordChangedFn userIDPasswordChanged = nullptr;
    RequestTickerFn requestTicker = nullptr;
    RemoveTickerFn removeTicker = nullptr;

  private:
    platform::Library* m_library = nullptr;
};

}  // namespace nsthost
