#include "plugin/levelone/level_one_fields.h"

#include <charconv>
#include <cwchar>

namespace orvella {

namespace {
// Longer than any number the feed client sends; the rest is not a number.
constexpr std::size_t kMaxNumberText = 64;
}  // namespace

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

double ReadFieldNumber(std::wstring_view field) {
    std::size_t i = 0;
    while (i < field.size() && (field[i] == L' ' || field[i] == L'\t')) {
        ++i;
    }
    char text[kMaxNumberText];
    std::size_t n = 0;
    bool negative = false;
    if (i < field.size() && (field[i] == L'+' || field[i] == L'-')) {
        negative = field[i] == L'-';
        ++i;
    }
    if (i < field.size() && (field[i] == L'+' || field[i] == L'-')) {
        return 0.0;
    }
    // Only the characters a decimal number can hold are copied; the parser
    // stops at the first one that does not continue the number.
    for (; i < field.size() && n < kMaxNumberText; ++i) {
        const wchar_t c = field[i];
        const bool numeric = (c >= L'0' && c <= L'9') || c == L'.' || c == L'e' || c == L'E' ||
                             c == L'+' || c == L'-';
        if (!numeric) {
            break;
        }
        text[n++] = static_cast<char>(c);
    }
    double value = 0.0;
    const auto result = std::from_chars(text, text + n, value, std::chars_format::general);
    if (result.ec != std::errc()) {
        return 0.0;
    }
    return negative ? -value : value;
}

int ReadFieldDigits(std::wstring_view field, std::size_t pos, std::size_t count) {
    if (pos >= field.size()) {
        return 0;
    }
    const std::wstring_view part = field.substr(pos, count);
    int value = 0;
    for (const wchar_t c : part) {
        if (c < L'0' || c > L'9') {
            break;
        }
        value = value * 10 + static_cast<int>(c - L'0');
    }
    return value;
}

CLineDateTime ReadLineDateTime(std::wstring_view timeField, std::wstring_view dateField) {
    CLineDateTime parts;
    parts.hour = ReadFieldDigits(timeField, 0, 2);
    parts.minute = ReadFieldDigits(timeField, 3, 2);
    parts.second = ReadFieldDigits(timeField, 6, 2);
    parts.month = ReadFieldDigits(dateField, 0, 2);
    parts.day = ReadFieldDigits(dateField, 3, 2);
    parts.year = ReadFieldDigits(dateField, 6, 4);
    return parts;
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
