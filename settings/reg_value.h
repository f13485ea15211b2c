// One registry value, read or written through its full path: the key path
// and the value name joined by a backslash, for example
// "Software\Corvan\Orvella\OrvellaForNST\Logging" (single backslashes). Each Read or Write opens
// and closes its own key; nothing is cached between accesses and no failure is reported.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace orvella {

// Splits a full path: leading backslashes are dropped; the key path is the
// text before the last backslash (without trailing backslashes, "" when there
// is no backslash) and the value name the text after it (without backslashes
// at either end; "" names the key's unnamed value).
void SplitFullPath(std::wstring_view fullPath, std::wstring* keyPath, std::wstring* valueName);

// Where a value record says that a stored value has a type or content it
// cannot be read as, and its default is used instead. Without a sink the
// text goes to standard error; the plug-in sends it to its log.
using SettingsNoticeSink = void (*)(const std::wstring& text);
void SetSettingsNoticeSink(SettingsNoticeSink sink);
// Passes text to the sink (or standard error).
void SettingsNotice(const std::wstring& text);

// A signed 32-bit value (the registry's 32-bit type).
class CRegDwordValue {
  public:
    CRegDwordValue() = default;
    ~CRegDwordValue();
    CRegDwordValue(const CRegDwordValue&) = delete;
    CRegDwordValue& operator=(const CRegDwordValue&) = delete;

    // Splits fullPath and keeps the default, the always-write flag and the hive.
    void SetPath(std::wstring_view fullPath, int32_t defaultValue, bool alwaysWrite,
                 platform::Hive hive = platform::Hive::kCurrentUser);

    // The stored value, read by its stored type: a 32-bit value as it is, a
    // text holding a decimal number (blanks around it allowed) as that
    // number. The default when the key or value is missing, and, with one
    // notice, when anything else is stored. Success sets Found and the
    // cached value.
    int32_t Read();

    // Makes value the cached value and stores it when it differs from the
    // cached value or always-write is set.
    void Assign(int32_t value);

    // Stores the cached value, creating the key and the keys along its path.
    // Success sets Found; failures are silent.
    void Write();

    int32_t Value() const { return m_value; }
    bool Found() const { return m_found; }
    const std::wstring& KeyPath() const { return m_keyPath; }
    const std::wstring& ValueName() const { return m_valueName; }

  private:
    platform::Hive m_hive = platform::Hive::kCurrentUser;
    platform::RegKey* m_key = nullptr;  // open only during one Read or Write
    std::wstring m_valueName;
    std::wstring m_keyPath;
    int32_t m_value = 0;
    int32_t m_default = 0;
    bool m_found = false;
    bool m_alwaysWrite = false;
};

// A text value (the registry's string type, stored with its terminating NUL).
class CRegStringValue {
  public:
    CRegStringValue() = default;
    ~CRegStringValue();
    CRegStringValue(const CRegStringValue&) = delete;
    CRegStringValue& operator=(const CRegStringValue&) = delete;

    void SetPath(std::wstring_view fullPath, std::wstring_view defaultValue, bool alwaysWrite,
                 platform::Hive hive = platform::Hive::kCurrentUser);

    // The stored text (string or expandable-string type) up to its first NUL
    // or the end of the stored data. The default when the key or value is
    // missing, and, with one notice, when another type is stored. Success
    // sets Found and the cached value.
    const std::wstring& Read();

    void Assign(std::wstring_view value);
    void Write();

    const std::wstring& Value() const { return m_value; }
    bool Found() const { return m_found; }
    const std::wstring& KeyPath() const { return m_keyPath; }
    const std::wstring& ValueName() const { return m_valueName; }

  private:
    platform::Hive m_hive = platform::Hive::kCurrentUser;
    platform::RegKey* m_key = nullptr;
    std::wstring m_valueName;
    std::wstring m_keyPath;
    std::wstring m_value;
    std::wstring m_default;
    bool m_found = false;
    bool m_alwaysWrite = false;
};

}  // namespace orvella
