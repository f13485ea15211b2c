// The registry of the current user, through the system's Reg* functions.
#include "platform/registry.h"

#include "platform/win32/win32_api.h"

namespace platform {

// An open key is the system's key handle.
struct RegKey;

namespace {

HKEY Native(RegKey* key) {
    return reinterpret_cast<HKEY>(key);
}

HKEY RootOf(Hive hive) {
    return hive == Hive::kCurrentUser ? HKEY_CURRENT_USER : nullptr;
}

}  // namespace

long RegOpenKey(Hive hive, const std::wstring& path, uint32_t access, RegKey** key) {
    if (key == nullptr || RootOf(hive) == nullptr) {
        return kRegInvalidParameter;
    }
    HKEY opened = nullptr;
    const LONG result = RegOpenKeyExW(RootOf(hive), path.c_str(), 0, access, &opened);
    *key = result == ERROR_SUCCESS ? reinterpret_cast<RegKey*>(opened) : nullptr;
    return result;
}

long RegCreateKey(Hive hive, const std::wstring& path, uint32_t access, RegKey** key) {
    if (key == nullptr || RootOf(hive) == nullptr) {
        return kRegInvalidParameter;
    }
    HKEY opened = nullptr;
    const LONG result = RegCreateKeyExW(RootOf(hive), path.c_str(), 0, nullptr,
                                        REG_OPTION_NON_VOLATILE, access, nullptr, &opened, nullptr);
    *key = result == ERROR_SUCCESS ? reinterpret_cast<RegKey*>(opened) : nullptr;
    return result;
}

bool RegStoreIsReadOnly() {
    // The system's registry: a user may always write his own hive.
    return false;
}

long RegCloseKey(RegKey* key) {
    if (key == nullptr) {
        return kRegInvalidHandle;
    }
    return ::RegCloseKey(Native(key));
}

long RegQueryValue(RegKey* key, const std::wstring& name, uint32_t* type, uint8_t* data,
                   uint32_t* size) {
    if (key == nullptr) {
        return kRegInvalidHandle;
    }
    if (data != nullptr && size == nullptr) {
        return kRegInvalidParameter;
    }
    DWORD storedType = REG_NONE;
    DWORD bytes = size != nullptr ? *size : 0;
    const LONG result = RegQueryValueExW(Native(key), name.c_str(), nullptr, &storedType, data,
                                         size != nullptr ? &bytes : nullptr);
    if (type != nullptr && (result == ERROR_SUCCESS || result == ERROR_MORE_DATA)) {
        *type = storedType;
    }
    if (size != nullptr && (result == ERROR_SUCCESS || result == ERROR_MORE_DATA)) {
        *size = bytes;
    }
    return result;
}

long RegSetValue(RegKey* key, const std::wstring& name, uint32_t type, const uint8_t* data,
                 uint32_t size) {
    if (key == nullptr) {
        return kRegInvalidHandle;
    }
    return RegSetValueExW(Native(key), name.c_str(), 0, type, data, size);
}

long RegDeleteValue(RegKey* key, const std::wstring& name) {
    if (key == nullptr) {
        return kRegInvalidHandle;
    }
    return RegDeleteValueW(Native(key), name.c_str());
}

long RegDeleteTree(Hive hive, const std::wstring& path) {
    if (RootOf(hive) == nullptr || path.empty()) {
        return kRegInvalidParameter;
    }
    HKEY parent = nullptr;
    LONG result = RegOpenKeyExW(RootOf(hive), path.c_str(), 0, KEY_ALL_ACCESS, &parent);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    result = RegDeleteTreeW(parent, nullptr);
    ::RegCloseKey(parent);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    return RegDeleteKeyW(RootOf(hive), path.c_str());
}

long RegEnumValues(RegKey* key, std::vector<RegValueInfo>* values) {
    if (key == nullptr || values == nullptr) {
        return kRegInvalidParameter;
    }
    DWORD count = 0, longestName = 0, longestData = 0;
    LONG result = RegQueryInfoKeyW(Native(key), nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, &count, &longestName, &longestData, nullptr, nullptr);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    values->clear();
    std::wstring name(longestName + 1, L'\0');
    for (DWORD i = 0; i < count; ++i) {
        RegValueInfo info;
        info.data.resize(longestData);
        DWORD nameLength = longestName + 1;
        DWORD type = REG_NONE;
        DWORD bytes = longestData;
        result = RegEnumValueW(Native(key), i, name.data(), &nameLength, nullptr, &type,
                               info.data.data(), &bytes);
        if (result != ERROR_SUCCESS) {
            return result;
        }
        info.name.assign(name.data(), nameLength);
        info.type = type;
        info.data.resize(bytes);
        values->push_back(std::move(info));
    }
    return kRegSuccess;
}

long RegEnumSubkeys(RegKey* key, std::vector<std::wstring>* names) {
    if (key == nullptr || names == nullptr) {
        return kRegInvalidParameter;
    }
    DWORD count = 0, longest = 0;
    LONG result = RegQueryInfoKeyW(Native(key), nullptr, nullptr, nullptr, &count, &longest,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    names->clear();
    std::wstring name(longest + 1, L'\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD length = longest + 1;
        result =
            RegEnumKeyExW(Native(key), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS) {
            return result;
        }
        names->emplace_back(name.data(), length);
    }
    return kRegSuccess;
}

}  // namespace platform
