// The feed client's two local port numbers, kept as decimal texts in its
// startup key. A value that is missing or malformed is replaced by the
// default text, which is then returned.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/registry.h"

namespace orvella {

class CCorvanPorts {
  public:
    CCorvanPorts() = default;
    virtual ~CCorvanPorts();
    CCorvanPorts(const CCorvanPorts&) = delete;
    CCorvanPorts& operator=(const CCorvanPorts&) = delete;

    // The lookup (history) port, 9100 by default.
    uint16_t GetLookupPort();
    // The level-one (streaming) port, 5009 by default.
    uint16_t GetLevel1Port();

  private:
    // Reads valueName from the startup key. A stored text (string or
    // expandable string, whole UTF-16 units ending in NUL, fewer than 256
    // characters) gives the low 16 bits of its decimal value (0 when it is no
    // number). Otherwise, and when the key is missing, the key is created or
    // reopened for writing, defaultText is stored, and defaultPort returned.
    uint16_t GetPort(std::wstring_view valueName, uint16_t defaultPort,
                     std::wstring_view defaultText);
    void Close();

    // The key holder: the open key (null when closed) and its access bits.
    platform::RegKey* m_key = nullptr;
    uint32_t m_access = 0;
};

// The low 16 bits of the decimal number text starts with (after blanks and an
// optional sign); 0 when it starts with no digit.
uint16_t PortFromText(std::wstring_view text);

}  // namespace orvella
