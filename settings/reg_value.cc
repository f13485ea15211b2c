#include "settings/reg_value.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/text.h"
#include "settings/reg_text.h"

namespace orvella {

namespace {

SettingsNoticeSink g_noticeSink = nullptr;

void CloseKey(platform::RegKey** key) {
    if (*key)
        platform::RegCloseKey(*key);
    *key = nullptr;
}

// The whole stored value: its type and bytes. False when it cannot be read.
bool QueryWhole(platform::RegKey* key, const std::wstring& name, uint32_t* type,
                std::vector<uint8_t>* data) {
    uint32_t size = 0;
    if (platform::RegQueryValue(key, name, type, nullptr, &size) != platform::kRegSuccess) {
        return false;
    }
    data->resize(size);
    if (platform::RegQueryValue(key, name, type, data->data(), &size) != platform::kRegSuccess) {
        return false;
    }
    data->resize(size);
    return true;
}

// Opens the key for the read, takes the whole value and closes the key
// again; false when the key or the value cannot be read.
bool ReadWhole(platform::Hive hive, const std::wstring& keyPath, const std::wstring& name,
               platform::RegKey** key, uint32_t* type, std::vector<uint8_t>* data) {
    if (platform::RegOpenKey(hive, keyPath, platform::kKeyRead, key) != platform::kRegSuccess)
        return false;
    *type = platform::kRegNone;
    const bool read = QueryWhole(*key, name, type, data);
    CloseKey(key);
    return read;
}

bool IsTextType(uint32_t type) {
    return type == platform::kRegSz || type == platform::kRegExpandSz;
}

// A decimal number that fits 32 bits, with blanks around it allowed.
bool ParseWholeNumber(std::wstring_view text, int32_t* value) {
    constexpr std::wstring_view kBlanks = L" \t\r\n\v\f";
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::wstring_view::npos) {
        return false;
    }
    text = text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
    const bool negative = text[0] == L'-';
    if (negative || text[0] == L'+') {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return false;
    }
    int64_t magnitude = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        magnitude = magnitude * 10 + (c - L'0');
        if (magnitude > int64_t{INT32_MAX} + 1) {
            return false;
        }
    }
    const int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT32_MAX) {
        return false;
    }
    *value = static_cast<int32_t>(signedValue);
    return true;
}

}  // namespace

void SetSettingsNoticeSink(SettingsNoticeSink sink) {
    g_noticeSink = sink;
}

void SettingsNotice(const std::wstring& text) {
    if (g_noticeSink != nullptr) {
        g_noticeSink(text);
    } else {
        std::fprintf(stderr, "orvella: %s\n", platform::NarrowText(text).c_str());
    }
}

void SplitFullPath(std::wstring_view fullPath, std::wstring* keyPath, std::wstring* valueName) {
    while (!fullPath.empty() && fullPath.front() == L'\\')
        fullPath.remove_prefix(1);
    const size_t last = fullPath.rfind(L'\\');
    std::wstring_view key =
        last == std::wstring_view::npos ? std::wstring_view{} : fullPath.substr(0, last);
    std::wstring_view name = last == std::wstring_view::npos ? fullPath : fullPath.substr(last);
    while (!key.empty() && key.back() == L'\\')
        key.remove_suffix(1);
    while (!name.empty() && name.front() == L'\\')
        name.remove_prefix(1);
    while (!name.empty() && name.back() == L'\\')
        name.remove_suffix(1);
    keyPath->assign(key);
    valueName->assign(name);
}

CRegDwordValue::~CRegDwordValue() {
    CloseKey(&m_key);
}

void CRegDwordValue::SetPath(std::wstring_view fullPath, int32_t defaultValue, bool alwaysWrite,
                             platform::Hive hive) {
    SplitFullPath(fullPath, &m_keyPath, &m_valueName);
    m_default = defaultValue;
    m_alwaysWrite = alwaysWrite;
    m_hive = hive;
}

int32_t CRegDwordValue::Read() {
    uint32_t type = platform::kRegNone;
    std::vector<uint8_t> data;
    if (!ReadWhole(m_hive, m_keyPath, m_valueName, &m_key, &type, &data))
        return m_default;
    int32_t value = 0;
    if (type == platform::kRegDword && data.size() == 4) {
        value = static_cast<int32_t>(data[0] | (uint32_t{data[1]} << 8) |
                                     (uint32_t{data[2]} << 16) | (uint32_t{data[3]} << 24));
    } else if (!IsTextType(type) ||
               !ParseWholeNumber(DecodeRegText(data.data(), data.size()), &value)) {
        SettingsNotice(L"The setting " + m_valueName + L" does not hold a number; its default " +
                       std::to_wstring(m_default) + L" is used");
        return m_default;
    }
    m_value = value;
    m_found = true;
    return m_value;
}

void CRegDwordValue::Assign(int32_t value) {
    if (value == m_value && !m_alwaysWrite)
        return;
    m_value = value;
    Write();
}

void CRegDwordValue::Write() {
    if (platform::RegCreateKey(m_hive, m_keyPath, platform::kKeyWrite, &m_key) !=
        platform::kRegSuccess) {
        return;
    }
    const auto bits = static_cast<uint32_t>(m_value);
    const uint8_t data[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                             static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
    if (platform::RegSetValue(m_key, m_valueName, platform::kRegDword, data, sizeof data) ==
        platform::kRegSuccess) {
        m_found = true;
    }
    CloseKey(&m_key);
}

CRegStringValue::~CRegStringValue() {
    CloseKey(&m_key);
}

void CRegStringValue::SetPath(std::wstring_view fullPath, std::wstring_view defaultValue,
                              bool alwaysWrite, platform::Hive hive) {
    SplitFullPath(fullPath, &m_keyPath, &m_valueName);
    m_default.assign(defaultValue);
    m_alwaysWrite = alwaysWrite;
    m_hive = hive;
}

const std::wstring& CRegStringValue::Read() {
    uint32_t type = platform::kRegNone;
    std::vector<uint8_t> data;
    if (!ReadWhole(m_hive, m_keyPath, m_valueName, &m_key, &type, &data))
        return m_default;
    if (!IsTextType(type)) {
        SettingsNotice(L"The setting " + m_valueName + L" does not hold text; its default is used");
        return m_default;
    }
    m_value = DecodeRegText(data.data(), data.size());
    m_found = true;
    return m_value;
}

void CRegStringValue::Assign(std::wstring_view value) {
    if (value == m_value && !m_alwaysWrite)
        return;
    m_value.assign(value);
    Write();
}

void CRegStringValue::Write() {
    if (platform::RegCreateKey(m_hive, m_keyPath, platform::kKeyWrite, &m_key) !=
        platform::kRegSuccess) {
        return;
    }
    const std::vector<uint8_t> data = EncodeRegText(m_value);
    if (platform::RegSetValue(m_key, m_valueName, platform::kRegSz, data.data(),
                              static_cast<uint32_t>(data.size())) == platform::kRegSuccess) {
        m_found = true;
    }
    CloseKey(&m_key);
}

}  // namespace orvella
