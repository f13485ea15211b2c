#include "history_doubles.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <sstream>

#include "plugin/diagnostics/log.h"

namespace orvella {

namespace test {

namespace {

std::string Key(const char* symbol, float interval) {
    std::ostringstream text;
    text << symbol << ' ' << interval;
    return text.str();
}

}  // namespace

void CRecordingHostFeed::NSTSETVALUE(const char* symbol, float interval, int column, double value) {
    std::ostringstream text;
    text.precision(17);
    text << "V " << Key(symbol, interval) << ' ' << column << ' ' << value;
    calls.push_back(text.str());
    if (column != static_cast<int>(m_row.size()) + 1) {
        rowOutOfOrder = true;
    }
    m_row.push_back(value);
}

void CRecordingHostFeed::NSTCOMMITROW(const char* symbol, float interval) {
    calls.push_back("C " + Key(symbol, interval));
    m_row.clear();
}

void CRecordingHostFeed::UpdatePercent(int percent) {
    calls.push_back("P " + std::to_string(percent));
}

std::vector<std::vector<double>> CRecordingHostFeed::Rows() const {
    std::vector<std::vector<double>> rows;
    std::vector<double> row;
    for (const std::string& call : calls) {
        if (call[0] == 'V') {
            row.push_back(std::stod(call.substr(call.rfind(' ') + 1)));
        } else if (call[0] == 'C') {
            rows.push_back(row);
            row.clear();
        }
    }
    return rows;
}

std::vector<int> CRecordingHostFeed::Percents() const {
    std::vector<int> percents;
    for (const std::string& call : calls) {
        if (call[0] == 'P') {
            percents.push_back(std::stoi(call.substr(2)));
        }
    }
    return percents;
}

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
