// Reading the version information of a file: the version block that the
// build embeds in each of our binaries (version_block.h), queried the way
// the platform's version API is queried.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform_export.h"

namespace platform {

// Size of the file's version information; 0 when it has none or cannot be
// read.
PLATFORM_API uint32_t GetFileVersionInfoSize(const std::wstring& path);

// Reads the version information into data (resized). False on failure.
PLATFORM_API bool GetFileVersionInfo(const std::wstring& path, std::vector<uint8_t>* data);

// Looks a sub-block up in version information read above:
//   "\\"                          the 52-byte fixed block
//   "\\VarFileInfo\\Translation"  the list of 32-bit translation entries
//   "\\StringFileInfo\\LLLLCCCC\\Key"  a string (8-bit, NUL-terminated;
//                                  *size counts characters with the NUL)
// *value points into data. False when the sub-block is not there.
PLATFORM_API bool VerQueryValue(const std::vector<uint8_t>& data, const std::wstring& subBlock,
                                const void** value, uint32_t* size);

// The user's default language identifier (0x0409 on POSIX).
PLATFORM_API uint16_t UserDefaultLanguage();

}  // namespace platform
