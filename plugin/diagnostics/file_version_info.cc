#include "plugin/diagnostics/file_version_info.h"

#include <cstring>
#include <vector>

#include "platform/text.h"
#include "platform/version_resource.h"
#include "plugin/diagnostics/format_text.h"

namespace orvella {

namespace {

// Language and code page used when the information carries no translation
// list: U.S. English, Unicode.
constexpr uint32_t kDefaultTranslation = 0x04B00409u;

int FindLanguage(const uint32_t* entries, size_t count, uint16_t language, bool primaryOnly) {
    for (size_t i = 0; i < count; ++i) {
        const uint16_t entryLanguage = static_cast<uint16_t>(entries[i] & 0xFFFFu);
        const bool match =
            primaryOnly ? (entryLanguage & 0xFF) == (language & 0xFF) : entryLanguage == language;
        if (match) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace

const wchar_t* const CFileVersionInfo::kStringKeys[kStringCount] = {
    L"CompanyName",    L"FileDescription",  L"FileVersion",  L"InternalName",
    L"LegalCopyright", L"OriginalFilename", L"ProductName",  L"ProductVersion",
    L"Comments",       L"LegalTrademarks",  L"PrivateBuild", L"SpecialBuild",
};

CFileVersionInfo::CFileVersionInfo() {
    std::memset(m_fixedInfo, 0, sizeof(m_fixedInfo));
}

void CFileVersionInfo::Reset() {
    std::memset(m_fixedInfo, 0, sizeof(m_fixedInfo));
    for (std::wstring& text : m_strings) {
        text.clear();
    }
}

uint32_t ChooseTranslation(const uint32_t* entries, size_t count, uint16_t userLanguage) {
    const uint16_t tries[] = {userLanguage, 0, 9};
    for (uint16_t language : tries) {
        for (bool primaryOnly : {false, true}) {
            const int found = FindLanguage(entries, count, language, primaryOnly);
            if (found >= 0) {
                return entries[found];
            }
        }
    }
    return entries[0];
}

bool CFileVersionInfo::Load(const std::wstring& path) {
    Reset();
    if (platform::GetFileVersionInfoSize(path) == 0) {
        return false;
    }
    std::vector<uint8_t> block;
    if (!platform::GetFileVersionInfo(path, &block)) {
        return false;
    }

    const void* value = nullptr;
    uint32_t size = 0;
    if (platform::VerQueryValue(block, L"\\", &value, &size) && size == kFixedInfoSize) {
        std::memcpy(m_fixedInfo, value, kFixedInfoSize);
    }

    uint32_t translation = kDefaultTranslation;
    if (platform::VerQueryValue(block, L"\\VarFileInfo\\Translation", &value, &size) &&
        size >= sizeof(uint32_t)) {
        std::vector<uint32_t> entries(size / sizeof(uint32_t));
        std::memcpy(entries.data(), value, entries.size() * sizeof(uint32_t));
        translation =
            ChooseTranslation(entries.data(), entries.size(), platform::UserDefaultLanguage());
    }

    const std::wstring prefix =
        FormatText(L"\\StringFileInfo\\%04X%04X\\", translation & 0xFFFFu, translation >> 16);
    for (int i = 0; i < kStringCount; ++i) {
        if (platform::VerQueryValue(block, prefix + kStringKeys[i], &value, &size) && size > 0) {
            // The size counts the terminating NUL.
            std::string_view text(static_cast<const char*>(value), size);
            m_strings[i] = platform::WidenText(text.substr(0, text.find('\0')));
        }
    }
    return true;
}

}  // namespace orvella
