// Starting the feed client through its launcher and waiting for its login.
#pragma once

#include <string>
#include <vector>

namespace orvella {

// The launcher's file name, found by the shell on the search path.
inline constexpr char kLauncherFile[] = "Orvalink.exe";

// The launcher's arguments, each credential exactly one argument:
// -product NOVASCOPE_TRADER -version V -login U -password W.
std::vector<std::string> LauncherArguments(const std::wstring& version, const std::wstring& userId,
                                           const std::wstring& password);

// Logs the module version, starts the launcher and waits on the admin port
// until the feed client reports "Connected" or the connection ends. False
// (after logging and showing the error) when the launcher did not start.
bool LaunchAndLogin(const std::wstring& userId, const std::wstring& password);

}  // namespace orvella
