// The registry access layer: one value read or written by its full path
// (key path, backslash, value name; see SplitFullPath). Every call opens and
// closes its own key and stores at once. Nothing is reported: a value that
// cannot be read yields the default, one that cannot be written is skipped.
// A read never creates anything. The plug-in uses wide text, the setup
// program 8-bit text; both address the same stored values.
#pragma once

#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace orvella {

std::wstring ReadRegString(const std::wstring& fullPath, const std::wstring& defaultValue,
                           platform::Hive hive = platform::Hive::kCurrentUser);
std::string ReadRegString(const std::string& fullPath, const std::string& defaultValue,
                          platform::Hive hive = platform::Hive::kCurrentUser);

// Stores text with the registry's string type, creating missing keys.
void WriteRegString(const std::wstring& fullPath, const std::wstring& value,
                    platform::Hive hive = platform::Hive::kCurrentUser);
void WriteRegString(const std::string& fullPath, const std::string& value,
                    platform::Hive hive = platform::Hive::kCurrentUser);

// Reads a 32-bit value; more than four stored bytes yield the default.
int32_t ReadRegDword(const std::wstring& fullPath, int32_t defaultValue,
                     platform::Hive hive = platform::Hive::kCurrentUser);
int32_t ReadRegDword(const std::string& fullPath, int32_t defaultValue,
                     platform::Hive hive = platform::Hive::kCurrentUser);

// Stores a 32-bit value with the registry's 32-bit type, creating missing keys.
void WriteRegDword(int32_t value, const std::wstring& fullPath,
                   platform::Hive hive = platform::Hive::kCurrentUser);
void WriteRegDword(int32_t value, const std::string& fullPath,
                   platform::Hive hive = platform::Hive::kCurrentUser);

}  // namespace orvella
