#include "settings/reg_value.h"

#include <cstring>
#include <vector>

#include "settings/reg_text.h"

namespace orvella {

namespace {

void CloseKey(platform::RegKey** key) {
    if (*key)
        platform::RegCloseKey(*key);
    *key = nullptr;
}

}  // namespace

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
    if (platform::RegOpenKey(m_hive, m_keyPath, platform::kKeyRead, &m_key) !=
        platform::kRegSuccess) {
        return m_default;
    }
    uint8_t buffer[4] = {};
    uint32_t size = sizeof buffer;
    const long rc = platform::RegQueryValue(m_key, m_valueName, nullptr, buffer, &size);
    CloseKey(&m_key);
    if (rc != platform::kRegSuccess)
        return m_default;
    m_value = static_cast<int32_t>(buffer[0] | (uint32_t{buffer[1]} << 8) |
                                   (uint32_t{buffer[2]} << 16) | (uint32_t{buffer[3]} << 24));
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
    if (platform::RegOpenKey(m_hive, m_keyPath, platform::kKeyRead, &m_key) !=
        platform::kRegSuccess) {
        return m_default;
    }
    uint32_t size = 0;
    long rc = platform::RegQueryValue(m_key, m_valueName, nullptr, nullptr, &size);
    std::vector<uint8_t> buffer(size);
    if (rc == platform::kRegSuccess) {
        rc = platform::RegQueryValue(m_key, m_valueName, nullptr, buffer.data(), &size);
    }
    CloseKey(&m_key);
    if (rc != platform::kRegSuccess)
        return m_default;
    m_value = DecodeRegText(buffer.data(), size);
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
