// The plug-in's diagnostic log: one file per opening in the host's install
// directory, one line per entry ("%Y%m%d_%H%M%S", a comma, the text, CR LF),
// flushed at once. Off unless the Logging setting is non-zero.
#pragma once

#include <string>
#include <string_view>

#include "plugin/diagnostics/format_text.h"

namespace orvella {

// Reads Logging (and NovaScopeRoot) and, when logging is on, creates
// <NovaScopeRoot>/OrvellaForNST<local time>.log, never over an existing file:
// a second session in the same second gets <local time>_2.log, and so on.
// A file that cannot be created is reported in a message box, once until
// CloseLogFile; later entries try again quietly. When the folder exists but
// cannot take the file, the log goes to <local application data>/OrvellaForNST
// (said on standard error and in the log's first line). With an empty or relative NovaScopeRoot no
// file is written (said once on standard error). Does nothing while a file is open.
void OpenLogFile();

// Writes one entry when logging is on, opening the file first if needed.
// Host thread only.
void WriteLogLine(std::wstring_view text);

// printf-style entry (FormatText conventions).
void LogFormat(const wchar_t* format, ...);

// Closes the file and ends logging (at unload): later entries are dropped
// until the next OpenLogFile.
void CloseLogFile();
bool LogFileIsOpen();

// The bytes of one entry: stamp, a comma, the text in 8-bit, ending in
// exactly one CR LF (a trailing CR LF is kept, a trailing LF replaced).
std::string BuildLogLine(std::wstring_view stamp, std::wstring_view text);
// The plug-in's file version ("?.?.?.?" when it cannot be read); logs
// "DLL is %s; version %s".
std::wstring LogModuleVersion();

}  // namespace orvella
