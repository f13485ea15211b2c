#include "history_doubles.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "plugin/diagnostics/log.h"

namespace orvella {

namespace test {

std::vector<std::wstring>& LogLines() {
    static std::vector<std::wstring> lines;
    return lines;
}

void ClearLog() {
    LogLines().clear();
}

bool LogContains(const std::wstring& line) {
    const auto& lines = LogLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::map<std::wstring, CSymbolInfo>& WatchedSymbols() {
    static std::map<std::wstring, CSymbolInfo> symbols;
    return symbols;
}

}  // namespace test

// The log and the watch-list lookup as the history code calls them.

void WriteLogLine(std::wstring_view text) {
    test::LogLines().emplace_back(text);
}

void LogFormat(const wchar_t* format, ...) {
    wchar_t buffer[4096];
    va_list args;
    va_start(args, format);
    std::vswprintf(buffer, sizeof buffer / sizeof buffer[0], format, args);
    va_end(args);
    test::LogLines().emplace_back(buffer);
}

CSymbolInfo* FindWatchedSymbol(const std::wstring& symbol) {
    auto& symbols = test::WatchedSymbols();
    const auto found = symbols.find(symbol);
    return found == symbols.end() ? nullptr : &found->second;
}

}  // namespace orvella
