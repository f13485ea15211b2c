// Test doubles for the history tests: the recording host library installed
// for one test, a log that keeps its lines in memory and a level-one watch
// list of the test's own.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "plugin/levelone/symbol_info.h"
#include "testing/host_recorder.h"

namespace orvella::test {

// Installs a fresh recording host for one test and removes it afterwards.
class CHostFeedScope {
  public:
    CHostFeedScope() { SetHostFeed(&host); }
    ~CHostFeedScope() { SetHostFeed(nullptr); }
    testing::CRecordingHostFeed host;
};

// The log lines written since the last ClearLog, without time stamps.
std::vector<std::wstring>& LogLines();
void ClearLog();
bool LogContains(const std::wstring& line);

// The watch list FindWatchedSymbol consults in these tests.
std::map<std::wstring, CSymbolInfo>& WatchedSymbols();

}  // namespace orvella::test
