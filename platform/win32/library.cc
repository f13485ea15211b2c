#include "platform/library.h"

#include "platform/text.h"
#include "platform/win32/win32_api.h"

namespace platform {

namespace {

std::string SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n > 0 ? std::wstring(text, n) : L"error " + std::to_wstring(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) {
        message.pop_back();
    }
    return NarrowText(message);
}

}  // namespace

Library* LoadLibrary(const std::string& path, std::string* error) {
    // A file name alone would be searched for; the host means a file.
    const bool bare = path.find_first_of("\\/") == std::string::npos;
    const std::wstring file = WidenText(bare ? ".\\" + path : path);
    const HMODULE module = LoadLibraryExW(file.c_str(), nullptr, 0);
    if (module == nullptr) {
        *error = "cannot load " + path + ": " + SystemMessage(GetLastError());
    }
    return reinterpret_cast<Library*>(module);
}

Library* LoadSystemLibrary(const std::string& name, std::string* error) {
    const HMODULE module =
        LoadLibraryExW(WidenText(name).c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) {
        *error = "cannot load " + name + ": " + SystemMessage(GetLastError());
    }
    return reinterpret_cast<Library*>(module);
}

void* FindExport(Library* library, const char* name, std::string* error) {
    FARPROC symbol = GetProcAddress(reinterpret_cast<HMODULE>(library), name);
    if (symbol == nullptr) {
        *error = std::string("the plug-in does not export ") + name + ": " +
                 SystemMessage(GetLastError());
    }
    return reinterpret_cast<void*>(symbol);
}

void FreeLibrary(Library* library) {
    if (library != nullptr) {
        ::FreeLibrary(reinterpret_cast<HMODULE>(library));
    }
}

}  // namespace platform
