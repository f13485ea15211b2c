#include "platform/file_system.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cwctype>

#include "platform/win32/win32_api.h"

namespace platform {

std::wstring DocumentsFolder() {
    wchar_t path[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return std::wstring();
    }
    return path;
}

std::wstring LocalAppDataFolder() {
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path))) {
        folder = path;
    }
    CoTaskMemFree(path);
    return folder;
}

bool IsNotWritableCause(int cause) {
    return cause == ERROR_ACCESS_DENIED || cause == ERROR_WRITE_PROTECT ||
           cause == ERROR_DIRECTORY || cause == EACCES;
}

int MoveFileReplacing(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    switch (GetLastError()) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return EACCES;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        default:
            return EIO;
    }
}

bool DirectoryExists(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(search);
    return true;
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool CreateDirectory(const std::wstring& folder) {
    return CreateDirectoryW(folder.c_str(), nullptr) != FALSE;
}

bool IsAbsolutePath(const std::wstring& path) {
    const bool drive = path.size() >= 3 && iswalpha(path[0]) && path[1] == L':' &&
                       (path[2] == L'\\' || path[2] == L'/');
    const bool unc = path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\';
    return drive || unc;
}

NewFileResult CreateNewFile(const std::wstring& path, std::FILE** file, int* cause) {
    *file = nullptr;
    *cause = 0;
    // CREATE_NEW never opens an existing file (nor one a link of that name
    // points at).
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        *cause = static_cast<int>(error);
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? NewFileResult::kExists
                                                                           : NewFileResult::kFailed;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        *cause = errno;
        CloseHandle(handle);
        return NewFileResult::kFailed;
    }
    *file = _fdopen(fd, "wb");
    if (*file == nullptr) {
        *cause = errno;
        _close(fd);
        return NewFileResult::kFailed;
    }
    return NewFileResult::kCreated;
}

std::FILE* OpenOwnerOnlyFile(const std::string& path) {
    // A file in the user's own folders is his alone by their inherited
    // permissions.
    return std::fopen(path.c_str(), "wb");
}

bool FolderOpenToOthers(const std::wstring&) {
    return false;
}

int WritePieces(std::FILE* file, const std::string_view* pieces, std::size_t count) {
    // The file is unbuffered: each piece is one write of the system.
    for (std::size_t i = 0; i < count; ++i) {
        if (pieces[i].empty())
            continue;
        errno = 0;
        if (std::fwrite(pieces[i].data(), 1, pieces[i].size(), file) != pieces[i].size())
            return errno != 0 ? errno : EIO;
    }
    return 0;
}

int CutFile(std::FILE* file, std::uint64_t size) {
    const int fd = _fileno(file);
    if (fd < 0)
        return EBADF;
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) != FILE_TYPE_DISK)
        return 0;
    const __int64 length = _filelengthi64(fd);
    if (length < 0)
        return errno != 0 ? errno : EIO;
    if (static_cast<std::uint64_t>(length) <= size)
        return 0;
    return _chsize_s(fd, static_cast<__int64>(size));
}

std::wstring ModulePathOf(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(address), &module)) {
        return std::wstring();
    }
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) {
            return std::wstring();
        }
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace platform
