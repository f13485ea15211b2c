// A log that keeps its lines in memory, for tests that check what the
// level-one code writes to the diagnostic log.
#include <cstdarg>
#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

#include "plugin/diagnostics/log.h"
#include "tests/plugin/levelone/test_log.h"

namespace orvella {

namespace {
std::mutex g_lock;
std::vector<std::wstring> g_lines;

std::wstring FormatList(const wchar_t* format, va_list args) {
    std::wstring text(256, L'\0');
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        const int n = std::vswprintf(text.data(), text.size(), format, copy);
        va_end(copy);
        if (n >= 0) {
            text.resize(static_cast<std::size_t>(n));
            return text;
        }
        text.resize(text.size() * 2);
    }
}
}  // namespace

void StartLogCapture() {
    std::lock_guard<std::mutex> hold(g_lock);
    g_lines.clear();
}

std::vector<std::wstring> CapturedLogLines() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_lines;
}

void OpenLogFile() {}
void CloseLogFile() {}
bool LogFileIsOpen() {
    return true;
}
std::wstring LogModuleVersion() {
    return L"?.?.?.?";
}

void WriteLogLine(std::wstring_view text) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_lines.emplace_back(text);
}

void LogFormat(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const std::wstring text = FormatList(format, args);
    va_end(args);
    WriteLogLine(text);
}

std::wstring FormatText(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatList(format, args);
    va_end(args);
    return text;
}

}  // namespace orvella
