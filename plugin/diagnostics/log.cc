#include "plugin/diagnostics/log.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cwchar>

#include "platform/file_system.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "platform/time_format.h"
#include "plugin/diagnostics/file_version_info.h"
#include "settings/corvan_reg_base.h"
#include "settings/registry_access.h"
#include "settings/settings_keys.h"

namespace orvella {

namespace {

constexpr char kStampPattern[] = "%Y%m%d_%H%M%S";
constexpr wchar_t kCaption[] = L"OrvellaForNST";
// Names tried for one opening: the stamped name, then the same with "_2" up
// to this number, for sessions started in the same second.
constexpr int kMaxLogNameTries = 100;

struct LogState {
    int32_t loggingEnabled = 0;
    std::FILE* file = nullptr;
    // The box about a file that could not be created was shown, and the
    // reason why no file is written was told: once each until the log is
    // closed at unload.
    bool failureShown = false;
    bool refusalTold = false;
    // Set while an opening attempt runs, so that an entry written from
    // inside it (a message box may dispatch the thread's messages) does not
    // start another attempt and another box.
    bool opening = false;
};

constinit LogState g_log;

// The local time of writing, to the second.
std::wstring LocalStamp() {
    return platform::WidenText(platform::FormatLocalTime(kStampPattern));
}

// Creates the stamped file in root, never one that exists: a second
// session in the same second gets "_2", and so on. The cause of the last
// failure goes to *cause.
std::FILE* CreateLogFile(const std::wstring& root, int* cause) {
    const std::wstring stem = root + platform::kPathSeparator + L"OrvellaForNST" + LocalStamp();
    std::FILE* file = nullptr;
    for (int n = 1; n <= kMaxLogNameTries; ++n) {
        const std::wstring name =
            n == 1 ? stem + L".log" : stem + L"_" + std::to_wstring(n) + L".log";
        if (platform::CreateNewFile(name, &file, cause) != platform::NewFileResult::kExists) {
            break;
        }
    }
    return file;
}

// The host's folder usually lies where a user cannot write (under Program
// Files): the log goes to <local application data>/OrvellaForNST instead,
// which is said on standard error and in the log's first line.
std::FILE* CreateFallbackLogFile(const std::wstring& root) {
    const std::wstring base = platform::LocalAppDataFolder();
    if (base.empty()) {
        return nullptr;
    }
    const std::wstring folder = base + platform::kPathSeparator + kCaption;
    if (!platform::DirectoryExists(base)) {
        platform::CreateDirectory(base);
    }
    if (!platform::DirectoryExists(folder)) {
        platform::CreateDirectory(folder);
    }
    int cause = 0;
    std::FILE* file = CreateLogFile(folder, &cause);
    if (file != nullptr) {
        const std::wstring notice = FormatText(
            L"The NovaScope install directory %ls is not writable; the log is "
            L"written to %ls",
            root.c_str(), folder.c_str());
        std::fprintf(stderr, "OrvellaForNST: %s\n", platform::NarrowText(notice).c_str());
        const std::string line = BuildLogLine(LocalStamp(), notice);
        std::fwrite(line.data(), 1, line.size(), file);
        std::fflush(file);
    }
    return file;
}

}  // namespace

void OpenLogFile() {
    if (g_log.opening || g_log.file != nullptr) {
        return;
    }
    g_log.opening = true;
    COrvellaForNSTReg reg;
    g_log.loggingEnabled = ReadRegDword(kLoggingPath, kDefaultLogging);
    if (g_log.loggingEnabled != 0) {
        const std::wstring root = ReadRegString(kNovaScopeRootPath, kDefaultNovaScopeRoot);
        if (!platform::IsAbsolutePath(root)) {
            // Without the host's folder the file would land in the file
            // system's root or wherever the host was started.
            if (!g_log.refusalTold) {
                g_log.refusalTold = true;
                std::fprintf(stderr,
                             "OrvellaForNST: no log file is written: the NovaScope install "
                             "directory (NovaScopeRoot) is %s\n",
                             root.empty() ? "not set" : "not an absolute path");
            }
        } else {
            int cause = 0;
            g_log.file = CreateLogFile(root, &cause);
            if (g_log.file == nullptr && platform::IsNotWritableCause(cause)) {
                g_log.file = CreateFallbackLogFile(root);
            }
            // Shown once: every later entry tries again, quietly.
            if (g_log.file == nullptr && !g_log.failureShown) {
                g_log.failureShown = true;
                platform::MessageBox(
                    FormatText(L"Log File could not be opened (%d)", cause), kCaption,
                    platform::kMbOk | platform::kMbIconError | platform::kMbSystemModal);
            }
        }
    }
    g_log.opening = false;
}

std::string BuildLogLine(std::wstring_view stamp, std::wstring_view text) {
    std::wstring line;
    line.reserve(stamp.size() + text.size() + 3);
    line.append(stamp);
    line.push_back(L',');
    line.append(text);
    const size_t size = line.size();
    const bool endsInCrLf = size >= 2 && line[size - 2] == L'\r' && line[size - 1] == L'\n';
    if (!endsInCrLf) {
        if (size > 0 && line[size - 1] == L'\n') {
            line.pop_back();
        }
        line.append(L"\r\n");
    }
    return platform::NarrowText(line);
}

void WriteLogLine(std::wstring_view text) {
    if (g_log.loggingEnabled == 0) {
        return;
    }
    if (g_log.file == nullptr) {
        OpenLogFile();
        if (g_log.file == nullptr) {
            return;
        }
    }
    const std::string line = BuildLogLine(LocalStamp(), text);
    std::fwrite(line.data(), 1, line.size(), g_log.file);
    std::fflush(g_log.file);
}

void LogFormat(const wchar_t* format, ...) {
    if (g_log.loggingEnabled == 0) {
        return;
    }
    va_list args;
    va_start(args, format);
    const std::wstring text = FormatTextV(format, args);
    va_end(args);
    WriteLogLine(text);
}

void CloseLogFile() {
    if (g_log.file != nullptr) {
        std::fclose(g_log.file);
        g_log.file = nullptr;
    }
    g_log.loggingEnabled = 0;
    g_log.failureShown = false;
    g_log.refusalTold = false;
}

bool LogFileIsOpen() {
    return g_log.file != nullptr;
}

std::wstring LogModuleVersion() {
    std::wstring version = L"?.?.?.?";
    const std::wstring path =
        platform::ModulePathOf(reinterpret_cast<const void*>(&LogModuleVersion));
    CFileVersionInfo info;
    if (info.Load(path)) {
        version = info.FileVersion();
    }
    LogFormat(L"DLL is %ls; version %ls", path.c_str(), version.c_str());
    return version;
}

}  // namespace orvella
