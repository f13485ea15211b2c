#include "feedsim/startup_ports.h"

#ifdef ORVELLA_FEEDSIM_HAS_REGISTRY
#include <cstdint>
#include <string>

#include "platform/registry.h"
#endif

namespace feedsim {

#ifdef ORVELLA_FEEDSIM_HAS_REGISTRY

int ReadStartupPort(const wchar_t* valueName, int fallback) {
    platform::RegKey* key = nullptr;
    if (platform::RegOpenKey(platform::Hive::kCurrentUser, L"Software\\Corvan\\Orvella\\Startup",
                             platform::kKeyRead, &key) != platform::kRegSuccess) {
        return fallback;
    }
    uint8_t data[512];
    uint32_t size = sizeof data;
    uint32_t type = platform::kRegNone;
    const long rc = platform::RegQueryValue(key, valueName, &type, data, &size);
    platform::RegCloseKey(key);
    if (rc != platform::kRegSuccess ||
        (type != platform::kRegSz && type != platform::kRegExpandSz)) {
        return fallback;
    }
    // UTF-16 little-endian text: leading decimal digits.
    uint32_t value = 0;
    bool digits = false;
    for (uint32_t i = 0; i + 1 < size; i += 2) {
        const unsigned unit = data[i] | (data[i + 1] << 8);
        if (unit < '0' || unit > '9') {
            break;
        }
        value = value * 10 + (unit - '0');
        digits = true;
    }
    return digits ? static_cast<int>(value & 0xFFFF) : fallback;
}

#else

int ReadStartupPort(const wchar_t*, int fallback) {
    return fallback;
}

#endif

}  // namespace feedsim
