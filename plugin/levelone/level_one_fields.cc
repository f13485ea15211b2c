#include "plugin/levelone/level_one_fields.h"

#include <cwchar>

#include "plugin/boundary/feed_text.h"

namespace orvella {

CLineFields SplitFields(std::wstring_view line) {
    CLineFields fields{};
    if (line.empty()) {
        return fields;
    }
    const wchar_t* pos = line.data();
    const wchar_t* const end = pos + line.size();
    for (std::size_t index = 0; index < kLevelOneFieldCount; ++index) {
        const wchar_t* comma = static_cast<const wchar_t*>(
            std::wmemchr(pos, L',', static_cast<std::size_t>(end - pos)));
        if (comma == nullptr) {
            fields[index] = std::wstring_view(pos, static_cast<std::size_t>(end - pos));
            break;
        }
        fields[index] = std::wstring_view(pos, static_cast<std::size_t>(comma - pos));
        pos = comma + 1;
    }
    return fields;
}

bool ReadLineDateTime(std::wstring_view timeField, std::wstring_view dateField,
                      CLineDateTime* parts) {
    constexpr std::size_t kDateLength = 10;
    return ReadExactDigits(timeField, 0, 2, &parts->hour) &&
           ReadExactDigits(timeField, 3, 2, &parts->minute) &&
           ReadExactDigits(timeField, 6, 2, &parts->second) &&
           ReadExactDigits(dateField, 0, 2, &parts->month) &&
           ReadExactDigits(dateField, 3, 2, &parts->day) &&
           ReadExactDigits(dateField, 6, 4, &parts->year) && dateField.size() == kDateLength;
}

wchar_t FindTradeMarker(std::wstring_view field) {
    for (const wchar_t c : field) {
        if (c == L't' || c == L'T') {
            return c;
        }
    }
    return 0;
}

std::wstring_view SystemLineField(std::wstring_view line) {
    if (line.size() <= 2) {
        return {};
    }
    std::size_t begin = 2;
    while (begin < line.size() && line[begin] == L',') {
        ++begin;
    }
    const std::size_t comma = line.find(L',', begin);
    return line.substr(begin,
                       comma == std::wstring_view::npos ? std::wstring_view::npos : comma - begin);
}

}  // namespace orvella
