// The program's console: whether a stream shows on a terminal, how wide it
// is, and the user's interrupt (Ctrl-C).
#pragma once

#include <cstdio>

#include "platform/platform_export.h"

namespace platform {

// True when stream writes to a terminal (not a file or a pipe).
PLATFORM_API bool IsTerminal(std::FILE* stream);

// Characters one line of the terminal that stream shows on holds (the
// console's buffer width on Windows); 0 when stream is not a terminal or
// the width cannot be told. Asked again, it follows a resized window.
PLATFORM_API int TerminalColumns(std::FILE* stream);

// From now on the user's interrupt calls onInterrupt instead of ending the
// program; null restores the default. onInterrupt runs in a signal handler
// (or the system's console thread): it may only set flags that are safe to
// set there, such as a lock-free std::atomic.
PLATFORM_API void SetInterruptHandler(void (*onInterrupt)());

}  // namespace platform
