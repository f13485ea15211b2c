// How many files a process may hold open at once.
#pragma once

#include "platform/platform_export.h"

namespace platform {

// Raises the process's limit of open files as far as the system allows for
// it (on POSIX the soft RLIMIT_NOFILE up to the hard one). Returns the limit
// in force afterwards; -1 when it cannot be read or there is none.
PLATFORM_API long RaiseOpenFileLimit();

}  // namespace platform
