#include "setup/version_text.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/file_system.h"
#include "platform/version_resource.h"

namespace orvella {

namespace {

std::wstring StringKey(const std::vector<uint8_t>& data) {
    const void* value = nullptr;
    uint32_t size = 0;
    char key[64];
    if (platform::VerQueryValue(data, L"\\VarFileInfo\\Translation", &value, &size) && size == 4) {
        const auto* bytes = static_cast<const uint8_t*>(value);
        // Language, then code page, each high byte first.
        std::snprintf(key, sizeof(key), "\\StringFileInfo\\%02X%02X%02X%02X\\FileVersion", bytes[1],
                      bytes[0], bytes[3], bytes[2]);
    } else {
        std::snprintf(key, sizeof(key), "\\StringFileInfo\\%04X04B0\\FileVersion",
                      platform::UserDefaultLanguage());
    }
    return std::wstring(key, key + std::char_traits<char>::length(key));
}

}  // namespace

std::string GetFileVersionText(const std::wstring& path) {
    std::string version = "Unknown";
    std::vector<uint8_t> data;
    if (platform::GetFileVersionInfoSize(path) > 0 && platform::GetFileVersionInfo(path, &data)) {
        const void* value = nullptr;
        uint32_t size = 0;
        if (platform::VerQueryValue(data, StringKey(data), &value, &size) && size > 0) {
            version.assign(static_cast<const char*>(value), size - 1);
            if (version.size() >= 256)
                version.resize(250);
        }
    }
    std::string text;
    for (char c : version) {
        if (c == ',') {
            text += '.';
        } else if (c != ' ') {
            text += c;
        }
    }
    return text;
}

std::string OwnVersionText() {
    static const int kAnchor = 0;
    return GetFileVersionText(platform::ModulePathOf(&kAnchor));
}

}  // namespace orvella
