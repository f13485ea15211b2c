#include "settings/corvan_ports.h"

#include <string>

#include "settings/reg_text.h"
#include "settings/settings_keys.h"

namespace orvella {

namespace {

constexpr uint32_t kPortBufferChars = 256;

}  // namespace

uint16_t PortFromText(std::wstring_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
        negative = text[i++] == L'-';
    uint16_t value = 0;  // arithmetic modulo 2^16 keeps exactly the low 16 bits
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = static_cast<uint16_t>(value * 10u + static_cast<uint16_t>(text[i] - L'0'));
    }
    return negative ? static_cast<uint16_t>(0u - value) : value;
}

CCorvanPorts::~CCorvanPorts() {
    Close();
}

uint16_t CCorvanPorts::GetLookupPort() {
    return GetPort(kLookupPortName, kDefaultLookupPort, kDefaultLookupPortText);
}

uint16_t CCorvanPorts::GetLevel1Port() {
    return GetPort(kLevel1PortName, kDefaultLevel1Port, kDefaultLevel1PortText);
}

void CCorvanPorts::Close() {
    if (m_key)
        platform::RegCloseKey(m_key);
    m_key = nullptr;
    m_access = 0;
}

uint16_t CCorvanPorts::GetPort(std::wstring_view valueName, uint16_t defaultPort,
                               std::wstring_view defaultText) {
    const std::wstring name(valueName);
    bool writable = false;
    m_access = platform::kKeyRead;
    if (platform::RegOpenKey(platform::Hive::kCurrentUser, kStartupKey, m_access, &m_key) !=
        platform::kRegSuccess) {
        Close();
        m_access = platform::kKeyRead | platform::kKeyWrite;
        writable = platform::RegCreateKey(platform::Hive::kCurrentUser, kStartupKey, m_access,
                                          &m_key) == platform::kRegSuccess;
    } else {
        uint8_t buffer[2 * kPortBufferChars];
        uint32_t size = sizeof buffer;
        uint32_t type = platform::kRegNone;
        const bool read =
            platform::RegQueryValue(m_key, name, &type, buffer, &size) == platform::kRegSuccess &&
            (type == platform::kRegSz || type == platform::kRegExpandSz) && size >= 2 &&
            size % 2 == 0 && buffer[size - 2] == 0 && buffer[size - 1] == 0;
        if (read) {
            Close();
            return PortFromText(DecodeRegText(buffer, size));
        }
        Close();
        m_access = platform::kKeyRead | platform::kKeyWrite;
        writable = platform::RegOpenKey(platform::Hive::kCurrentUser, kStartupKey, m_access,
                                        &m_key) == platform::kRegSuccess;
    }
    if (writable) {
        const std::vector<uint8_t> data = EncodeRegText(defaultText);
        platform::RegSetValue(m_key, name, platform::kRegSz, data.data(),
                              static_cast<uint32_t>(data.size()));
    }
    Close();
    return defaultPort;
}

}  // namespace orvella
