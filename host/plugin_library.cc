#include "host/plugin_library.h"

#include "platform/library.h"

namespace nsthost {

CPluginLibrary::~CPluginLibrary() {
    Unload();
}

bool CPluginLibrary::Load(const std::string& path, std::string* error) {
    Unload();
    m_library = platform::LoadLibrary(path, error);
    if (m_library == nullptr) {
        return false;
    }
    userIDPasswordChanged = reinterpret_cast<UserIDPasswordChangedFn>(
        platform::FindExport(m_library, "UserIDPasswordChanged", error));
    requestTicker =
        reinterpret_cast<RequestTickerFn>(platform::FindExport(m_library, "RequestTicker", error));
    removeTicker =
        reinterpret_cast<RemoveTickerFn>(platform::FindExport(m_library, "RemoveTicker", error));
    if (userIDPasswordChanged == nullptr || requestTicker == nullptr || removeTicker == nullptr) {
        Unload();
        return false;
    }
    return true;
}

void CPluginLibrary::Unload() {
    if (m_library != nullptr) {
        platform::FreeLibrary(m_library);
        m_library = nullptr;
    }
    userIDPasswordChanged = nullptr;
    requestTicker = nullptr;
    removeTicker = nullptr;
}

}  // namespace nsthost
