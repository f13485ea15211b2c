#include "settings/filter_time.h"

#include "settings/reg_value.h"
#include "settings/registry_access.h"

namespace orvella {

namespace {

template <typename Char>
bool IsTimeTextOf(std::basic_string_view<Char> text) {
    constexpr int kLimits[] = {23, 59, 59};
    if (text.size() != 6) {
        return false;
    }
    for (size_t part = 0; part < 3; ++part) {
        const Char tens = text[2 * part];
        const Char ones = text[2 * part + 1];
        if (tens < '0' || tens > '9' || ones < '0' || ones > '9' ||
            (tens - '0') * 10 + (ones - '0') > kLimits[part]) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool IsTimeText(std::wstring_view text) {
    return IsTimeTextOf(text);
}

bool IsTimeText(std::string_view text) {
    return IsTimeTextOf(text);
}

std::wstring ReadFilterTime(const std::wstring& fullPath, const std::wstring& defaultText) {
    std::wstring text = ReadRegString(fullPath, defaultText);
    if (IsTimeText(text)) {
        return text;
    }
    std::wstring keyPath, name;
    SplitFullPath(fullPath, &keyPath, &name);
    SettingsNotice(L"The setting " + name + L" is not a time of day (HHMMSS); its default " +
                   defaultText + L" is used");
    return defaultText;
}

}  // namespace orvella
