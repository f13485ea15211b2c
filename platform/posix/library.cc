#include "platform/library.h"

#include <dlfcn.h>

namespace platform {

Library* LoadLibrary(const std::string& path, std::string* error) {
    // A path without a slash would be searched for on the library path.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        *error = "cannot load " + path + ": " + (why != nullptr ? why : "unknown error");
    }
    return static_cast<Library*>(handle);
}

Library* LoadSystemLibrary(const std::string& name, std::string* error) {
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        *error = "cannot load " + name + ": " + (why != nullptr ? why : "unknown error");
    }
    return static_cast<Library*>(handle);
}

void* FindExport(Library* library, const char* name, std::string* error) {
    dlerror();
    void* symbol = dlsym(library, name);
    if (symbol == nullptr) {
        const char* why = dlerror();
        *error = std::string("the plug-in does not export ") + name +
                 (why != nullptr ? std::string(": ") + why : std::string());
    }
    return symbol;
}

void FreeLibrary(Library* library) {
    if (library != nullptr) {
        dlclose(library);
    }
}

}  // namespace platform
