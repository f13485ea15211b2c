// The system's 8-bit code page and wide text. On POSIX the code page is
// Latin-1, so every byte maps to one wide character and back without loss.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform_export.h"

namespace platform {

// 8-bit text to wide text, one character per byte.
PLATFORM_API std::wstring WidenText(std::string_view text);
// Appends the widened text to out (no reallocation when out has room).
PLATFORM_API void AppendWidened(std::string_view text, std::wstring* out);
// Widens text into dest, which has room for text.size() characters; returns
// how many it wrote (one per byte: the code page is single-byte).
PLATFORM_API size_t WidenInto(std::string_view text, wchar_t* dest);

// Wide text to 8-bit text; a character outside the code page becomes '?'.
PLATFORM_API std::string NarrowText(std::wstring_view text);

// True when a and b differ at most in the case of ASCII letters: names the
// system compares so (version block keys, registry roots and value types).
inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace platform
