// Starting the feed client through its launcher and waiting for its login.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvella {

// The launcher's file name, found by the shell on the search path.
inline constexpr char kLauncherFile[] = "Orvalink.exe";

// The launcher's arguments, each credential exactly one argument:
// -product NOVASCOPE_TRADER -version V -login U -password W.
std::vector<std::string> LauncherArguments(const std::wstring& version, const std::wstring& userId,
                                           const std::wstring& password);

// How long the login waits for a feed client that was just started to listen
// on its admin port, and the pause between connect attempts.
struct CAdminListenWait {
    uint32_t boundMs = 30000;
    uint32_t retryMs = 250;
};

// The wait the login uses; tests shorten it.
CAdminListenWait& AdminListenWait();

// Logs the module version, starts the launcher and waits on the admin port
// until the feed client reports "Connected" or the connection ends. The admin
// connect is retried until the feed client listens (at most
// AdminListenWait().boundMs). False (after logging and showing the error)
// when the launcher did not start; there is no wait then.
bool LaunchAndLogin(const std::wstring& userId, const std::wstring& password);

}  // namespace orvella
