// Folders and module paths on POSIX.
#include "platform/file_system.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <link.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/text.h"

namespace platform {

namespace {

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    const passwd* pw = getpwuid(getuid());
    return pw && pw->pw_dir ? pw->pw_dir : "";
}

// The value of an XDG_DOCUMENTS_DIR="..." line of user-dirs.dirs: "$HOME" at
// its start stands for the home folder, a backslash quotes the next character.
std::string ParseUserDirsValue(const std::string& quoted, const std::string& home) {
    std::string value;
    size_t i = 0;
    if (quoted.compare(0, 5, "$HOME") == 0) {
        value = home;
        i = 5;
    }
    for (; i < quoted.size(); ++i) {
        if (quoted[i] == '\\' && i + 1 < quoted.size())
            ++i;
        value.push_back(quoted[i]);
    }
    return value;
}

std::string DocumentsFromUserDirs(const std::string& home) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string file = config && config[0] == '/' ? config : home + "/.config";
    std::ifstream in(file + "/user-dirs.dirs");
    std::string line;
    constexpr std::string_view kPrefix = "XDG_DOCUMENTS_DIR=\"";
    while (std::getline(in, line)) {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, kPrefix.size(), kPrefix) != 0) {
            continue;
        }
        start += kPrefix.size();
        const size_t end = line.rfind('"');
        if (end == std::string::npos || end < start)
            continue;
        std::string value = ParseUserDirsValue(line.substr(start, end - start), home);
        if (!value.empty() && value[0] == '/')
            return value;
    }
    return {};
}

}  // namespace

std::wstring DocumentsFolder() {
    const char* explicitDir = std::getenv("XDG_DOCUMENTS_DIR");
    if (explicitDir && explicitDir[0] == '/')
        return platform::WidenText(explicitDir);
    const std::string home = HomeFolder();
    if (home.empty())
        return {};
    std::string folder = DocumentsFromUserDirs(home);
    if (folder.empty())
        folder = home + "/Documents";
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return platform::WidenText(folder);
}

std::wstring LocalAppDataFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/')
        return platform::WidenText(data);
    const std::string home = HomeFolder();
    return home.empty() ? std::wstring() : platform::WidenText(home + "/.local/share");
}

bool IsNotWritableCause(int cause) {
    return cause == EACCES || cause == EPERM || cause == EROFS || cause == ENOTDIR;
}

int MoveFileReplacing(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : (errno != 0 ? errno : EIO);
}

bool DirectoryExists(const std::wstring& folder) {
    struct stat st;
    return stat(platform::NarrowText(folder).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::wstring& path) {
    struct stat st;
    return stat(platform::NarrowText(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool CreateDirectory(const std::wstring& folder) {
    return mkdir(platform::NarrowText(folder).c_str(), 0777) == 0;
}

bool IsAbsolutePath(const std::wstring& path) {
    return !path.empty() && path[0] == L'/';
}

NewFileResult CreateNewFile(const std::wstring& path, std::FILE** file, int* cause) {
    *file = nullptr;
    *cause = 0;
    const int fd = open(platform::NarrowText(path).c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        *cause = errno;
        return errno == EEXIST ? NewFileResult::kExists : NewFileResult::kFailed;
    }
    *file = fdopen(fd, "wb");
    if (*file == nullptr) {
        *cause = errno;
        close(fd);
        return NewFileResult::kFailed;
    }
    return NewFileResult::kCreated;
}

std::FILE* OpenOwnerOnlyFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    struct stat status {};
    std::FILE* file = nullptr;
    if (fd >= 0 && ::fstat(fd, &status) == 0 &&
        (!S_ISREG(status.st_mode) || (status.st_mode & 077) == 0 || ::fchmod(fd, 0600) == 0)) {
        file = ::fdopen(fd, "wb");
    }
    if (file == nullptr && fd >= 0) {
        const int cause = errno;
        ::close(fd);
        errno = cause;
    }
    return file;
}

bool FolderOpenToOthers(const std::wstring& folder) {
    struct stat status {};
    if (::stat(platform::NarrowText(folder).c_str(), &status) != 0) {
        return true;
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) == 0) {
        return false;
    }
    return (status.st_mode & S_ISVTX) == 0 || status.st_uid != ::geteuid();
}

int WritePieces(std::FILE* file, const std::string_view* pieces, std::size_t count) {
    const int fd = fileno(file);
    if (fd < 0)
        return EBADF;
    iovec vectors[IOV_MAX];
    size_t next = 0;    // the first piece not yet given to the system
    size_t offset = 0;  // bytes of it already written
    while (next < count) {
        int used = 0;
        for (size_t i = next; i < count && used < IOV_MAX; ++i) {
            const size_t skip = i == next ? offset : 0;
            if (pieces[i].size() == skip)
                continue;
            vectors[used].iov_base = const_cast<char*>(pieces[i].data() + skip);
            vectors[used].iov_len = pieces[i].size() - skip;
            ++used;
        }
        if (used == 0)
            return 0;
        ssize_t written = ::writev(fd, vectors, used);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno != 0 ? errno : EIO;
        }
        if (written == 0)
            return EIO;
        // Move past what the system took, piece by piece.
        while (next < count) {
            const size_t left = pieces[next].size() - offset;
            if (static_cast<size_t>(written) < left) {
                offset += static_cast<size_t>(written);
                break;
            }
            written -= static_cast<ssize_t>(left);
            ++next;
            offset = 0;
        }
    }
    return 0;
}

int CutFile(std::FILE* file, std::uint64_t size) {
    const int fd = fileno(file);
    if (fd < 0)
        return EBADF;
    struct stat st;
    if (fstat(fd, &st) != 0)
        return errno != 0 ? errno : EIO;
    if (!S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) <= size)
        return 0;
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0 ? 0 : (errno != 0 ? errno : EIO);
}

std::wstring ModulePathOf(const void* address) {
    Dl_info info;
    link_map* module = nullptr;
    if (!dladdr1(address, &info, reinterpret_cast<void**>(&module), RTLD_DL_LINKMAP) || !module) {
        return {};
    }
    // The main program's entry carries no name.
    char resolved[PATH_MAX];
    if (!module->l_name || !*module->l_name) {
        const ssize_t n = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
        if (n <= 0)
            return {};
        return platform::WidenText(std::string_view(resolved, static_cast<size_t>(n)));
    }
    if (!realpath(module->l_name, resolved))
        return platform::WidenText(module->l_name);
    return platform::WidenText(resolved);
}

}  // namespace platform
