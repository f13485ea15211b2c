// The current user's registry: keys addressed by backslash paths (compared
// case-insensitively, like the platform's), each holding typed values.
//
// On POSIX the store is one SQLite database per user, by default
// ${XDG_CONFIG_HOME:-$HOME/.config}/orvella/registry.db; the environment
// variable ORVELLA_REGISTRY names another database file. Several processes
// may read and write it at once. A corrupt or unreadable database behaves as
// an empty one that cannot be written (every open fails, so callers get their
// defaults) and one clear message goes to standard error.
//
// Results are the platform's error numbers: kRegSuccess or a failure code.
// A Win32 backend maps these calls onto RegOpenKeyEx, RegQueryValueEx, ...
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform_export.h"

namespace platform {

inline constexpr long kRegSuccess = 0;
inline constexpr long kRegFileNotFound = 2;  // no such key or value
inline constexpr long kRegAccessDenied = 5;
inline constexpr long kRegInvalidHandle = 6;
inline constexpr long kRegInvalidParameter = 87;
inline constexpr long kRegMoreData = 234;      // the buffer was too small
inline constexpr long kRegBadDatabase = 1009;  // the store cannot be used

// Value types, as on the platform.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

// Access bits.
inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeyWrite = 0x20006;
inline constexpr uint32_t kKeyAllAccess = 0xF003F;

// Root keys. Only the current user's hive is stored.
enum class Hive : uintptr_t { kCurrentUser = 0x80000001 };

struct RegKey;  // an open key

// Opens an existing key (path relative to the hive, "" for the hive itself).
PLATFORM_API long RegOpenKey(Hive hive, const std::wstring& path, uint32_t access, RegKey** key);

// Opens a key, creating it and the missing keys along its path.
PLATFORM_API long RegCreateKey(Hive hive, const std::wstring& path, uint32_t access, RegKey** key);

PLATFORM_API long RegCloseKey(RegKey* key);

// True when the store can be read but not written (the user may not write
// it): its values are read as usual, every write fails with kRegAccessDenied
// and one message on standard error says so.
PLATFORM_API bool RegStoreIsReadOnly();

// Reads a value ("" names the key's unnamed value) with the platform's
// semantics: *type receives the stored type (may be null); with data null,
// *size receives the stored byte count; otherwise *size is the buffer's size
// on entry and the stored byte count on return, and kRegMoreData reports a
// buffer that was too small (nothing copied).
PLATFORM_API long RegQueryValue(RegKey* key, const std::wstring& name, uint32_t* type,
                                uint8_t* data, uint32_t* size);

// Stores a value of the given type as the given bytes. Text values are stored
// as the platform stores them: UTF-16 little-endian code units including the
// terminating NUL.
PLATFORM_API long RegSetValue(RegKey* key, const std::wstring& name, uint32_t type,
                              const uint8_t* data, uint32_t size);

PLATFORM_API long RegDeleteValue(RegKey* key, const std::wstring& name);

// Deletes a key with all its values and subkeys.
PLATFORM_API long RegDeleteTree(Hive hive, const std::wstring& path);

struct RegValueInfo {
    std::wstring name;
    uint32_t type = kRegNone;
    std::vector<uint8_t> data;
};

// Lists the values and the direct subkeys (their names) of an open key.
PLATFORM_API long RegEnumValues(RegKey* key, std::vector<RegValueInfo>* values);
PLATFORM_API long RegEnumSubkeys(RegKey* key, std::vector<std::wstring>* names);

}  // namespace platform
