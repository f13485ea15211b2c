#include "plugin/history/history_fields.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

namespace orvella {

namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// The characters that may appear in a decimal number after its sign.
bool IsNumberCharacter(wchar_t c) {
    return IsDigit(c) || c == L'.' || c == L'e' || c == L'E' || c == L'+' || c == L'-';
}

// The characters of text from..to (to exclusive), clipped to the text.
std::wstring_view Slice(std::wstring_view text, size_t from, size_t to) {
    if (from >= text.size()) {
        return {};
    }
    return text.substr(from, std::min(to, text.size()) - from);
}

// Decimal exponent of the leading digit of a number that from_chars found out
// of range, so that it can be told apart as an overflow or an underflow.
long LeadingMagnitude(std::string_view number) {
    size_t i = 0;
    long magnitude = 0;
    bool seenDigit = false;
    bool afterPoint = false;
    for (; i < number.size(); ++i) {
        const char c = number[i];
        if (c == '.') {
            afterPoint = true;
        } else if (c >= '0' && c <= '9') {
            if (!seenDigit && c == '0') {
                if (afterPoint) {
                    --magnitude;
                }
                continue;
            }
            if (!seenDigit) {
                seenDigit = true;
                if (afterPoint) {
                    --magnitude;
                }
            } else if (!afterPoint) {
                ++magnitude;
            }
        } else {
            break;
        }
    }
    if (i + 1 < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        const char* first = number.data() + i + 1;
        const char* last = number.data() + number.size();
        const bool negative = *first == '-';
        if (*first == '+' || *first == '-') {
            ++first;
        }
        long exponent = 0;
        if (std::from_chars(first, last, exponent).ec == std::errc::result_out_of_range) {
            exponent = std::numeric_limits<long>::max() / 2;
        }
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude;
}

double NumberFromNarrow(const char* first, const char* last) {
    const bool negative = first != last && *first == '-';
    const char* digits = first + (first != last && (*first == '+' || *first == '-') ? 1 : 0);
    // Like strtod, only a digit or a point may begin the number proper.
    if (digits == last || !(std::isdigit(static_cast<unsigned char>(*digits)) || *digits == '.')) {
        return 0.0;
    }
    double value = 0.0;
    const std::from_chars_result result =
        std::from_chars(digits, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        value = LeadingMagnitude(std::string_view(digits, static_cast<size_t>(last - digits))) > 0
                    ? HUGE_VAL
                    : 0.0;
    } else if (result.ec != std::errc()) {
        return 0.0;
    }
    return negative ? -value : value;
}

// The common case of a price or size: an optional minus, at most 15 digits
// with an optional point, no exponent, ended by the end of the text or a
// character that cannot continue a number. Such a value is exact as an
// integer and one division by an exact power of ten rounds it correctly, so
// the result equals the full conversion's. False for anything else.
bool ReadPlainDecimal(std::wstring_view text, double* value) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    size_t i = 0;
    const bool negative = i < text.size() && text[i] == L'-';
    if (negative) {
        ++i;
    }
    uint64_t mantissa = 0;
    int digits = 0;
    int fraction = -1;
    for (; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (IsDigit(c)) {
            mantissa = mantissa * 10 + static_cast<uint64_t>(c - L'0');
            ++digits;
            if (fraction >= 0) {
                ++fraction;
            }
        } else if (c == L'.' && fraction < 0) {
            fraction = 0;
        } else {
            break;
        }
    }
    if (digits == 0 || digits > 15 || (i < text.size() && (text[i] == L'e' || text[i] == L'E'))) {
        return false;
    }
    const double magnitude =
        static_cast<double>(mantissa) / kPowersOfTen[fraction > 0 ? fraction : 0];
    *value = negative ? -magnitude : magnitude;
    return true;
}

}  // namespace

std::wstring_view SplitNextField(std::wstring_view line, std::ptrdiff_t* position) {
    if (*position < 0) {
        throw std::invalid_argument("SplitNextField called past the end of the line");
    }
    size_t from = static_cast<size_t>(*position);
    while (from < line.size() && line[from] == L',') {
        ++from;
    }
    if (from >= line.size()) {
        *position = kEndOfLine;
        return {};
    }
    // Fields are short: a plain loop beats a library search here.
    size_t to = from;
    while (to < line.size() && line[to] != L',') {
        ++to;
    }
    *position = static_cast<std::ptrdiff_t>(to) + 1;
    return line.substr(from, to - from);
}

int ReadDecimalInteger(std::wstring_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    constexpr long long kLimit = std::numeric_limits<int>::max();
    long long value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = std::min(value * 10 + (text[i] - L'0'), kLimit + 1);
    }
    if (negative) {
        return static_cast<int>(-value);
    }
    return static_cast<int>(std::min(value, kLimit));
}

double ReadDecimalNumber(std::wstring_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    double quick = 0.0;
    if (ReadPlainDecimal(text.substr(i), &quick)) {
        return quick;
    }
    size_t end = i;
    if (end < text.size() && (text[end] == L'+' || text[end] == L'-')) {
        ++end;
    }
    while (end < text.size() && IsNumberCharacter(text[end])) {
        ++end;
    }
    // Narrow the candidate characters; from_chars decides where the number
    // really stops. Prices and sizes fit the stack buffer.
    constexpr size_t kStackLength = 128;
    const size_t length = end - i;
    char stackBuffer[kStackLength];
    std::string heapBuffer;
    char* narrow = stackBuffer;
    if (length > kStackLength) {
        heapBuffer.resize(length);
        narrow = heapBuffer.data();
    }
    for (size_t k = 0; k < length; ++k) {
        narrow[k] = static_cast<char>(text[i + k]);
    }
    return NumberFromNarrow(narrow, narrow + length);
}

// One part of a date field, characters from..to (to exclusive); the usual
// all-digit part is read directly.
int ReadDatePart(std::wstring_view text, size_t from, size_t to) {
    if (to <= text.size()) {
        int value = 0;
        size_t i = from;
        for (; i < to && IsDigit(text[i]); ++i) {
            value = value * 10 + (text[i] - L'0');
        }
        if (i == to) {
            return value;
        }
    }
    return ReadDecimalInteger(Slice(text, from, to));
}

CDateFieldParts ReadDateFieldParts(std::wstring_view text) {
    CDateFieldParts parts;
    parts.year = ReadDatePart(text, 0, 4);
    parts.month = ReadDatePart(text, 5, 7);
    parts.day = ReadDatePart(text, 8, 10);
    parts.hour = ReadDatePart(text, 11, 13);
    parts.minute = ReadDatePart(text, 14, 16);
    parts.second = ReadDatePart(text, 17, 19);
    return parts;
}

HostDate ParseDateTimeField(std::wstring_view text) {
    const CDateFieldParts p = ReadDateFieldParts(text);
    return DateFromParts(p.year, p.month, p.day, p.hour, p.minute, p.second);
}

HostDate ParseDateField(std::wstring_view text) {
    const CDateFieldParts p = ReadDateFieldParts(text);
    return DateFromParts(p.year, p.month, p.day, 0, 0, 0);
}

}  // namespace orvella
