// Key and value names of the POSIX registry: how they are folded for
// comparison, stored as UTF-8 and split into a key path's components.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform::posix {

// A key path's components are at most this long.
inline constexpr size_t kMaxKeyNameLength = 255;

// The UTF-8 of text, folded to lower case (the ASCII and Latin-1 capitals)
// when fold is true; a code point that is none becomes U+FFFD.
std::string Utf8(std::wstring_view text, bool fold);
// Decodes the UTF-8 this store wrote (names only; always well formed).
std::wstring FromUtf8(const unsigned char* p, int size);
// Splits a key path at its backslashes; leading and trailing backslashes are
// ignored. False for an empty or over-long component.
bool SplitKeyPath(std::wstring_view path, std::vector<std::wstring_view>* parts);
// The folded UTF-8 of the path's first count components, joined by
// backslashes: the key's unique name in the store.
std::string FoldedPath(const std::vector<std::wstring_view>& parts, size_t count);

}  // namespace platform::posix
