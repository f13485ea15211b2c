#include "plugin/boundary/exports/feed_launch.h"

#include "platform/message_box.h"
#include "platform/shell.h"
#include "platform/sync.h"
#include "platform/text.h"
#include "plugin/boundary/exports/admin_login.h"
#include "plugin/diagnostics/log.h"

namespace orvella {

std::vector<std::string> LauncherArguments(const std::wstring& version, const std::wstring& userId,
                                           const std::wstring& password) {
    return {"-product", "NOVASCOPE_TRADER",           "-version",  platform::NarrowText(version),
            "-login",   platform::NarrowText(userId), "-password", platform::NarrowText(password)};
}

CAdminListenWait& AdminListenWait() {
    static CAdminListenWait wait;
    return wait;
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

    // The launcher returns as soon as it has started the feed client, which
    // then needs a moment before it listens.
    CAdminLogin login;
    const CAdminListenWait& wait = AdminListenWait();
    const uint32_t attempts = wait.retryMs == 0 ? 0 : wait.boundMs / wait.retryMs;
    uint32_t attempt = 0;
    while (login.ConnectAndSend(std::string(), kAdminPort) == 0 && attempt++ < attempts) {
        platform::Sleep(wait.retryMs);
    }
    if (attempt > attempts) {
        WriteLogLine(L"Orvella is not listening on its admin port; going on without its login");
    }
    login.WaitUntilConnected();
    return true;
}

}  // namespace orvella
