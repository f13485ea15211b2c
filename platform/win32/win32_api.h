// The system headers, for the Win32 backend only. Several of the system's
// function names are macros (MessageBox, PostMessage, CreateDirectory, ...)
// that would rename the platform layer's own functions of the same name, so
// they are undefined here; the backend calls the system's wide functions by
// their full names.
#pragma once

// The order matters: winsock2 before windows.h, the shell's after it.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
// clang-format on

#undef CreateDirectory
#undef DispatchMessage
#undef GetFileVersionInfo
#undef GetFileVersionInfoSize
#undef MessageBox
#undef PeekMessage
#undef PostMessage
#undef PostThreadMessage
#undef ShellExecute
#undef VerQueryValue
#undef RegOpenKey
#undef RegCreateKey
#undef RegQueryValue
#undef RegSetValue
#undef RegDeleteValue
#undef RegDeleteTree
#undef RegEnumValue
#undef LoadLibrary
#undef QueryPerformanceCounter
#undef QueryPerformanceFrequency
#undef CreateTimerQueue
#undef CreateTimerQueueTimer
#undef DeleteTimerQueue
#undef Sleep
