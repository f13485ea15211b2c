// Message boxes. The POSIX stand-in never blocks: it writes the caption and
// the text to standard error and hands them to the installed observer (the
// stand-in host and tests install one), then returns as if OK was pressed.
#pragma once

#include <string>

#include "platform/platform_export.h"

namespace platform {

// Style flags, as on the platform.
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbIconError = 0x10;
inline constexpr unsigned kMbIconWarning = 0x30;
inline constexpr unsigned kMbIconInformation = 0x40;
inline constexpr unsigned kMbSystemModal = 0x1000;

// Result of a box: the button pressed.
inline constexpr int kIdOk = 1;

using MessageBoxObserver = void (*)(const std::wstring& caption, const std::wstring& text,
                                    unsigned flags, void* context);

PLATFORM_API int MessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags);

// Installs the observer (null removes it). Process-wide.
PLATFORM_API void SetMessageBoxObserver(MessageBoxObserver observer, void* context);

}  // namespace platform
