#include "plugin/boundary/feed_launch.h"

#include "platform/message_box.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "plugin/boundary/admin_login.h"
#include "plugin/diagnostics/log.h"

namespace orvella {

std::vector<std::string> LauncherArguments(const std::wstring& version, const std::wstring& userId,
                                           const std::wstring& password) {
    return {"-product", "NOVASCOPE_TRADER",           "-version",  platform::NarrowText(version),
            "-login",   platform::NarrowText(userId), "-password", platform::NarrowText(password)};
}

bool LaunchAndLogin(const std::wstring& userId, const std::wstring& password) {
    const std::wstring version = LogModuleVersion();
    const platform::ShellResult launched =
        platform::ShellExecute(kLauncherFile, LauncherArguments(version, userId, password));
    if (launched.instance <= 32) {
        const std::wstring text =
            FormatText(L"ERROR! Unable to launch Orvalink.exe.  Error Code: %d hInst: %d\n",
                       launched.errorCode, static_cast<int>(launched.instance));
        WriteLogLine(text);
        platform::MessageBox(text, L"OrvellaForNST",
                             platform::kMbOk | platform::kMbIconError | platform::kMbSystemModal);
        return false;
    }

    CAdminLogin login;
    login.ConnectAndSend(std::string(), kAdminPort);
    login.WaitUntilConnected();
    return true;
}

}  // namespace orvella
