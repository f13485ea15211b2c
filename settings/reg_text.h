// Text as the registry stores it (UTF-16 little-endian code units with a
// terminating NUL) and the 8-bit code page of the setup program (Latin-1:
// every byte is one character, so 8-bit text round-trips without loss).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvella {

// The stored form of text: UTF-16LE code units followed by one NUL unit.
// Characters above U+FFFF become surrogate pairs.
std::vector<uint8_t> EncodeRegText(std::wstring_view text);

// Stored data back to text: up to the first NUL unit or the end of the data,
// whichever comes first; a trailing odd byte is ignored.
std::wstring DecodeRegText(const uint8_t* data, size_t size);

}  // namespace orvella
