// The plug-in's diagnostic log: one file per opening in the host's install
// directory, one line per entry ("%Y%m%d_%H%M%S", a comma, the text, CR LF),
// flushed at once. Off unless the Logging setting is non-zero.
#pragma once

#include <string>
#include <string_view>

namespace orvella {

void OpenLogFile();
void WriteLogLine(std::wstring_view text);
// printf-style entry; wide texts take %ls, 8-bit texts %s.
void LogFormat(const wchar_t* format, ...);
void CloseLogFile();
bool LogFileIsOpen();
// The plug-in's file version ("?.?.?.?" when it cannot be read); logs
// "DLL is %s; version %s".
std::wstring LogModuleVersion();

// printf-style formatting into a wide text (no length limit).
std::wstring FormatText(const wchar_t* format, ...);

}  // namespace orvella
