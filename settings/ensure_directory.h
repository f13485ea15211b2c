// Making sure a directory path exists, creating its missing levels one by one.
#pragma once

#include <string>

namespace orvella {

// The directory calls EnsureDirectory makes; tests replace them.
class CDirectoryCalls {
  public:
    virtual ~CDirectoryCalls() = default;
    // True when a search of folder finds any entry (platform::DirectoryExists).
    virtual bool Exists(const std::wstring& folder);
    // Creates one folder (platform::CreateDirectory).
    virtual bool Create(const std::wstring& folder);
};

// True when the whole path exists afterwards. An existing path is left alone.
// Otherwise the root component (the first level: a drive, "" before a leading
// separator, or a UNC prefix of two separators and a server name) is taken as
// given, and
// each deeper level is searched for and created when missing; the first
// level that cannot be created stops the walk and gives false. An empty path
// gives false. Levels are split at separator.
bool EnsureDirectory(const std::wstring& path, wchar_t separator, CDirectoryCalls& calls);

// The same with the native separator and the platform's directory calls.
bool EnsureDirectory(const std::wstring& path);
bool EnsureDirectory(const std::string& path);

}  // namespace orvella
