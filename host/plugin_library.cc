#include "host/plugin_library.h"

#include <dlfcn.h>

namespace nsthost {
namespace {

void* Resolve(void* handle, const char* name, std::string* error) {
    dlerror();
    void* symbol = dlsym(handle, name);
    if (symbol == nullptr) {
        const char* why = dlerror();
        *error = std::string("the plug-in does not export ") + name +
                 (why != nullptr ? std::string(": ") + why : std::string());
    }
    return symbol;
}

}  // namespace

CPluginLibrary::~CPluginLibrary() {
    Unload();
}

bool CPluginLibrary::Load(const std::string& path, std::string* error) {
    Unload();
    // A path without a slash would be searched for on the library path;
    // the host means a file.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    m_handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        const char* why = dlerror();
        *error = "cannot load " + path + ": " + (why != nullptr ? why : "unknown error");
        return false;
    }
    userIDPasswordChanged = reinterpret_cast<UserIDPasswordChangedFn>(
        Resolve(m_handle, "UserIDPasswordChanged", error));
    requestTicker = reinterpret_cast<RequestTickerFn>(Resolve(m_handle, "RequestTicker", error));
    removeTicker = reinterpret_cast<RemoveTickerFn>(Resolve(m_handle, "RemoveTicker", error));
    if (userIDPasswordChanged == nullptr || requestTicker == nullptr || removeTicker == nullptr) {
        Unload();
        return false;
    }
    return true;
}

void CPluginLibrary::Unload() {
    if (m_handle != nullptr) {
        dlclose(m_handle);
        m_handle = nullptr;
    }
    userIDPasswordChanged = nullptr;
    requestTicker = nullptr;
    removeTicker = nullptr;
}

}  // namespace nsthost
