#include "plugin/boundary/feed_text.h"

#include <charconv>
#include <cstdint>
#include <system_error>

namespace orvella {

namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// Length of the run of digits at text[i...].
size_t DigitRun(std::wstring_view text, size_t i) {
    size_t n = 0;
    while (i + n < text.size() && IsDigit(text[i + n])) {
        ++n;
    }
    return n;
}

// True when text (no sign, no blanks) is digits with an optional point and
// an optional exponent, and nothing else.
bool IsUnsignedDecimal(std::wstring_view text) {
    size_t i = DigitRun(text, 0);
    size_t digits = i;
    if (i < text.size() && text[i] == L'.') {
        const size_t after = DigitRun(text, i + 1);
        digits += after;
        i += 1 + after;
    }
    if (digits == 0) {
        return false;
    }
    if (i < text.size() && (text[i] == L'e' || text[i] == L'E')) {
        ++i;
        if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
            ++i;
        }
        const size_t exponent = DigitRun(text, i);
        if (exponent == 0) {
            return false;
        }
        i += exponent;
    }
    return i == text.size();
}

}  // namespace

bool KeepUnfinishedLine(std::wstring* pending, size_t lineStart, bool* skipping) {
    if (!*skipping && pending->size() - lineStart <= kMaxFeedLineChars) {
        pending->erase(0, lineStart);
        return false;
    }
    pending->clear();
    const bool began = !*skipping;
    *skipping = true;
    return began;
}

bool ReadFiniteNumber(std::wstring_view field, double* value) {
    size_t first = 0;
    size_t last = field.size();
    while (first < last && IsBlank(field[first])) {
        ++first;
    }
    while (last > first && IsBlank(field[last - 1])) {
        --last;
    }
    const std::wstring_view text = field.substr(first, last - first);
    if (ReadPlainDecimal(text, value)) {
        return true;
    }
    if (text.empty() || text.size() > kMaxNumberChars) {
        return false;
    }
    const bool negative = text[0] == L'-';
    const std::wstring_view number = text.substr(text[0] == L'+' || negative ? 1 : 0);
    if (!IsUnsignedDecimal(number)) {
        return false;
    }
    char narrow[kMaxNumberChars];
    for (size_t k = 0; k < number.size(); ++k) {
        narrow[k] = static_cast<char>(number[k]);
    }
    double parsed = 0.0;
    const std::from_chars_result result =
        std::from_chars(narrow, narrow + number.size(), parsed, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != narrow + number.size()) {
        return false;
    }
    *value = negative ? -parsed : parsed;
    return true;
}

bool ReadExactDigits(std::wstring_view text, size_t pos, size_t count, int* value) {
    if (pos + count > text.size()) {
        return false;
    }
    int read = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (!IsDigit(text[i])) {
            return false;
        }
        read = read * 10 + (text[i] - L'0');
    }
    if (pos + count < text.size() && IsDigit(text[pos + count])) {
        return false;
    }
    *value = read;
    return true;
}

bool IsRequestableSymbol(std::wstring_view symbol) {
    for (const wchar_t c : symbol) {
        if (c < L' ' || c == 0x7F || c == L',') {
            return false;
        }
    }
    return true;
}

}  // namespace orvella
