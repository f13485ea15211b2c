// Starting a program through the system shell.
#include "platform/shell.h"

#include "platform/text.h"
#include "platform/timer_queue.h"
#include "platform/win32/win32_api.h"

namespace platform {

namespace {

// Appends arg so that the program's start-up code (the rules of
// CommandLineToArgvW and the C runtime) gives it back as exactly one argument:
// quoted when empty or holding blanks or quotes; a quote is escaped with a
// backslash, and backslashes are doubled where a quote follows them.
void AppendQuoted(const std::wstring& arg, std::wstring* line) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line->append(arg);
        return;
    }
    line->push_back(L'"');
    size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line->append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        line->push_back(c);
        backslashes = 0;
    }
    line->append(backslashes * 2, L'\\');
    line->push_back(L'"');
}

}  // namespace

ShellResult ShellExecute(const std::string& file, const std::vector<std::string>& args) {
    if (file.empty()) {
        SetLastPlatformError(ERROR_FILE_NOT_FOUND);
        return ShellResult{ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND};
    }
    std::wstring parameters;
    for (const std::string& arg : args) {
        if (!parameters.empty()) {
            parameters.push_back(L' ');
        }
        AppendQuoted(WidenText(arg), &parameters);
    }
    const std::wstring program = WidenText(file);
    const HINSTANCE instance = ShellExecuteW(nullptr, L"open", program.c_str(), parameters.c_str(),
                                             nullptr, SW_SHOWNORMAL);
    const auto result = reinterpret_cast<intptr_t>(instance);
    if (result > 32) {
        return ShellResult{result, 0};
    }
    const int error = LastPlatformError();
    return ShellResult{result, error != 0 ? error : static_cast<int>(result)};
}

}  // namespace platform
