// File names on POSIX are byte strings; wide paths carry one byte per
// character (the Latin-1 code page), so the conversion is lossless both ways.
#pragma once

#include <string>
#include <string_view>

namespace platform::posix {

// Wide path to the bytes the file system takes; a character outside the
// code page becomes '?'.
inline std::string NativePath(std::wstring_view path) {
    std::string out;
    out.reserve(path.size());
    for (wchar_t c : path)
        out.push_back(c >= 0 && c <= 0xFF ? static_cast<char>(c) : '?');
    return out;
}

// Bytes from the file system to a wide path, one character per byte.
inline std::wstring WidePath(std::string_view path) {
    std::wstring out;
    out.reserve(path.size());
    for (char c : path)
        out.push_back(static_cast<unsigned char>(c));
    return out;
}

}  // namespace platform::posix
