// Folders and the program's own files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/platform_export.h"

namespace platform {

// The native path separator ('/' on POSIX, '\\' on Win32).
#ifdef _WIN32
inline constexpr wchar_t kPathSeparator = L'\\';
#else
inline constexpr wchar_t kPathSeparator = L'/';
#endif

// What a program's file name ends in (".exe" on Win32, nothing on POSIX).
#ifdef _WIN32
inline constexpr char kProgramSuffix[] = ".exe";
#else
inline constexpr char kProgramSuffix[] = "";
#endif

// The user's documents folder (on POSIX the XDG documents folder, else
// $HOME/Documents).
// Not created when missing.
PLATFORM_API std::wstring DocumentsFolder();

// The user's local application data folder (on POSIX $XDG_DATA_HOME when it
// is absolute, else $HOME/.local/share); empty when it cannot be found. Not
// created when missing.
PLATFORM_API std::wstring LocalAppDataFolder();

// True when a file layer cause of CreateNewFile says the folder cannot take
// the file (no write permission, a read-only medium, or a path part that is
// not a folder), as against a folder that is missing.
PLATFORM_API bool IsNotWritableCause(int cause);

// True when a search of the folder finds any entry, like a search for
// folder + "\*.*" (an existing folder always finds itself).
PLATFORM_API bool DirectoryExists(const std::wstring& folder);

// True when path names an existing file that is not a folder.
PLATFORM_API bool FileExists(const std::wstring& path);

// Creates one folder (its parent must exist). False on failure, with the
// cause in LastPlatformError() (timer_queue.h).
PLATFORM_API bool CreateDirectory(const std::wstring& folder);

// Moves the file from onto to, replacing an existing file there. 0 on
// success, else an errno-style error number.
PLATFORM_API int MoveFileReplacing(const std::string& from, const std::string& to);

// True when path names a place without the help of a current folder: on
// POSIX it begins with '/' (on Win32: a drive letter, colon and backslash, or
// a UNC path).
PLATFORM_API bool IsAbsolutePath(const std::wstring& path);

// Creates a new file for writing in binary mode, with the default
// permissions. Never opens an existing file or follows a link of that name. The path is given
// in the system's code page.
enum class NewFileResult { kCreated, kExists, kFailed };
// On kCreated *file is the open file (the caller closes it); otherwise it is
// null and *cause holds the file layer's number for the failure.
PLATFORM_API NewFileResult CreateNewFile(const std::wstring& path, std::FILE** file, int* cause);

// Opens path for writing in binary mode, emptied, readable by its owner only
// (on POSIX mode 0600, also for a plain file that was there before; devices
// and pipes stay as they are; on Win32 the folder's own permissions hold).
// Null on failure, with the cause in errno.
PLATFORM_API std::FILE* OpenOwnerOnlyFile(const std::string& path);

// True when users other than the current one could plant or replace files
// in the folder: on POSIX it is writable by its group or by everyone, unless
// it is sticky (only a file's owner may rename or remove it) and owned by the
// current user; also true when it cannot be examined. On Win32 false: the
// folder's own permissions hold.
PLATFORM_API bool FolderOpenToOthers(const std::wstring& folder);

// Writes the pieces, in order, to the end of what was written to the file
// so far; the file is unbuffered (setvbuf _IONBF) and written only this way.
// On POSIX the pieces go out together in as few system calls as the system
// allows. 0 when every byte was written, else an errno-style error number.
PLATFORM_API int WritePieces(std::FILE* file, const std::string_view* pieces, std::size_t count);

// Drops the bytes of a file open for writing beyond its first size bytes;
// the file's position stays. A file no longer than that, a device or a pipe
// is left as it is. 0 on success, else an errno-style error number.
PLATFORM_API int CutFile(std::FILE* file, std::uint64_t size);

// Full path of the loaded module (shared library or program) that contains
// address; empty when it cannot be found.
PLATFORM_API std::wstring ModulePathOf(const void* address);

}  // namespace platform
