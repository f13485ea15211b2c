// Loading a shared library (a plug-in) at run time and finding its exports.
#pragma once

#include <string>

#include "platform/platform_export.h"

namespace platform {

struct Library;  // a loaded library

// Loads the library at path (a file name alone means the file in the
// working folder, never a search). Its start-up runs now. Null on failure,
// with the reason in *error.
PLATFORM_API Library* LoadLibrary(const std::string& path, std::string* error);

// Loads a library of the system by its file name alone, found where the
// system keeps its libraries (on POSIX the dynamic linker's search, on Win32
// the system folder). Null on failure, with the reason in *error.
PLATFORM_API Library* LoadSystemLibrary(const std::string& name, std::string* error);

// The address of an exported function, or null (with the reason in *error).
PLATFORM_API void* FindExport(Library* library, const char* name, std::string* error);

// Unloads the library; its exit runs now.
PLATFORM_API void FreeLibrary(Library* library);

}  // namespace platform
