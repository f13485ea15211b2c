// Starting a program by file name, like the platform shell does.
#pragma once

#include <string>
#include <vector>

#include "platform/platform_export.h"

namespace platform {

struct ShellResult {
    // Greater than 32 on success; 32 or less on failure (2 file not found,
    // 5 access denied, 8 out of memory, 31 no association), as the platform
    // reports it.
    intptr_t instance = 0;
    // The system error code of a failure, 0 on success.
    int errorCode = 0;
};

// Finds file on the search path (PATH; a name with a separator is taken as
// a path) and starts it detached, with each element of args as exactly one
// argument (never through a command interpreter). Returns as soon as the
// program has started; no handle is kept. The working folder is inherited.
PLATFORM_API ShellResult ShellExecute(const std::string& file, const std::vector<std::string>& args);

}  // namespace platform
