// Symbols of the platform library that its users may call, and the symbols
// that our shared libraries hand out.
#pragma once

// ORVELLA_SHARED_SYMBOL marks a function a plug-in hands out (on Win32 its
// module-definition file lists them); ORVELLA_DLL_EXPORT and
// ORVELLA_DLL_IMPORT mark the classes and functions a library shares with the
// programs built with it, on its own side and on theirs.
#ifdef _WIN32
// Each Win32 module links the platform statically.
#define PLATFORM_API
#define ORVELLA_SHARED_SYMBOL
#define ORVELLA_DLL_EXPORT __declspec(dllexport)
#define ORVELLA_DLL_IMPORT __declspec(dllimport)
#else
#define PLATFORM_API __attribute__((visibility("default")))
#define ORVELLA_SHARED_SYMBOL __attribute__((visibility("default")))
#define ORVELLA_DLL_EXPORT __attribute__((visibility("default")))
#define ORVELLA_DLL_IMPORT __attribute__((visibility("default")))
#endif
