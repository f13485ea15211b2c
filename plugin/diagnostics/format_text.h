// printf-style formatting into a wide text, for the log and the texts the
// plug-in shows.
#pragma once

#include <cstdarg>
#include <string>

namespace orvella {

// Formats with the C library's wide conventions: wide texts take %ls; %s
// takes 8-bit text the C locale can encode, so the plug-in widens 8-bit texts
// first and passes them as %ls. A format that cannot be expanded is returned
// as it stands.
std::wstring FormatText(const wchar_t* format, ...);
std::wstring FormatTextV(const wchar_t* format, va_list args);

}  // namespace orvella
