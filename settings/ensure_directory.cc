#include "settings/ensure_directory.h"

#include "platform/file_system.h"
#include "platform/text.h"
#include "settings/reg_text.h"

namespace orvella {

bool CDirectoryCalls::Exists(const std::wstring& folder) {
    return platform::DirectoryExists(folder);
}

bool CDirectoryCalls::Create(const std::wstring& folder) {
    return platform::CreateDirectory(folder);
}

bool EnsureDirectory(const std::wstring& path, wchar_t separator, CDirectoryCalls& calls) {
    if (path.empty())
        return false;
    if (calls.Exists(path))
        return true;
    std::wstring rest = path;
    while (!rest.empty() && rest.back() == separator)
        rest.pop_back();
    // Only a leading pair of separators makes a UNC root; a doubled separator
    // further on is an empty level, not a root that swallows the rest.
    const bool unc = rest.size() >= 2 && rest[0] == separator && rest[1] == separator;
    rest.push_back(separator);
    size_t end = unc ? rest.find(separator, 2) : rest.find(separator);
    std::wstring built = rest.substr(0, end);
    rest.erase(0, end == std::wstring::npos ? rest.size() : end + 1);
    while (!rest.empty()) {
        end = rest.find(separator);
        built += separator;
        built.append(rest, 0, end);
        rest.erase(0, end + 1);
        if (!calls.Exists(built) && !calls.Create(built))
            return false;
    }
    return true;
}

bool EnsureDirectory(const std::wstring& path) {
    CDirectoryCalls calls;
    return EnsureDirectory(path, platform::kPathSeparator, calls);
}

bool EnsureDirectory(const std::string& path) {
    return EnsureDirectory(platform::WidenText(path));
}

}  // namespace orvella
