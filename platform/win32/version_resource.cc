// Version information through the system's version API. The strings are
// queried with the 8-bit functions, which hand out the system code page's
// text, as the contract asks.
#include "platform/version_resource.h"

#include "platform/text.h"
#include "platform/win32/win32_api.h"

namespace platform {

uint32_t GetFileVersionInfoSize(const std::wstring& path) {
    DWORD ignored = 0;
    return GetFileVersionInfoSizeW(path.c_str(), &ignored);
}

bool GetFileVersionInfo(const std::wstring& path, std::vector<uint8_t>* data) {
    const uint32_t size = GetFileVersionInfoSize(path);
    if (size == 0 || data == nullptr) {
        return false;
    }
    // The size includes the room the 8-bit queries convert their strings into.
    data->assign(size, 0);
    return GetFileVersionInfoW(path.c_str(), 0, size, data->data()) != FALSE;
}

bool VerQueryValue(const std::vector<uint8_t>& data, const std::wstring& subBlock,
                   const void** value, uint32_t* size) {
    if (data.empty() || value == nullptr || size == nullptr) {
        return false;
    }
    void* found = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), NarrowText(subBlock).c_str(), &found, &length)) {
        return false;
    }
    *value = found;
    *size = length;
    return true;
}

uint16_t UserDefaultLanguage() {
    return GetUserDefaultLangID();
}

}  // namespace platform
