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

// Wide text to 8-bit text; a character outside the code page becomes '?'.
PLATFORM_API std::string NarrowText(std::wstring_view text);

}  // namespace platform
