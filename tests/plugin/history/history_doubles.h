// Test doubles for the history tests: a host library that records every
// call, a log that keeps its lines in memory and a level-one watch list of
// the test's own.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "plugin/levelone/symbol_info.h"
#include "tests/plugin/quiet_host_feed.h"

namespace orvella::test {

// One call into the host library, as text: "V ABC -5 2 12.5" (NSTSETVALUE),
// "C ABC -5" (NSTCOMMITROW), "P 42" (UpdatePercent).
class CRecordingHostFeed : public CQuietHostFeed {
  public:
    void NSTSETVALUE(const char* symbol, float interval, int column, double value) override;
    void NSTCOMMITROW(const char* symbol, float interval) override;
    void UpdatePercent(int percent) override;

    // The committed rows, each as its values in column order.
    std::vector<std::vector<double>> Rows() const;
    std::vector<int> Percents() const;

    std::vector<std::string> calls;
    // Set when a row is committed under another symbol or key than the
    // values before it, or a column comes out of order.
    bool rowOutOfOrder = false;

  private:
    std::vector<double> m_row;
};

// Installs a fresh recording host for one test and removes it afterwards.
class CHostFeedScope {
  public:
    CHostFeedScope() { SetHostFeed(&host); }
    ~CHostFeedScope() { SetHostFeed(nullptr); }
    CRecordingHostFeed host;
};

// The log lines written since the last ClearLog, without time stamps.
std::vector<std::wstring>& LogLines();
void ClearLog();
bool LogContains(const std::wstring& line);

// The watch list FindWatchedSymbol consults in these tests.
std::map<std::wstring, CSymbolInfo>& WatchedSymbols();

}  // namespace orvella::test
