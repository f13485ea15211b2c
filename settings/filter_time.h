// The stored trade-time filter times, checked the same way by the plug-in
// and the setup program before either uses them.
#pragma once

#include <string>
#include <string_view>

namespace orvella {

// True when text is a time text: exactly six decimal digits HHMMSS that name
// a time of day (hours 00-23, minutes and seconds 00-59). Anything else
// would reach the lookup request line unchecked.
bool IsTimeText(std::wstring_view text);
bool IsTimeText(std::string_view text);

// BeginFilterTime or EndFilterTime as stored, or its default when the stored
// text is not a time text (said with one notice of the settings layer).
std::wstring ReadFilterTime(const std::wstring& fullPath, const std::wstring& defaultText);

}  // namespace orvella
