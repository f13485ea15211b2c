// A host library double that records every call the plug-in makes, for the
// tests of the boundary, the history and the level-one code. Single-threaded:
// the plug-in calls the host on the thread that runs the test.
#pragma once

#include <string>
#include <vector>

#include "plugin/boundary/host_feed.h"

namespace orvella::testing {

struct CHostCall {
    std::string op;  // the function's name, "NSTSETVALUE"
    std::string symbol;
    float interval = 0.0f;
    int column = 0;    // column number, the column count of NSTSETUPDATA, the percent
    std::string text;  // label, or description of NSTSETUPDATA
    double value = 0.0;
};

// One committed row of a series.
struct CRecordedRow {
    std::string symbol;
    float series = 0.0f;
    // Column values in ascending column order (column 1 first).
    std::vector<double> values;
    bool operator==(const CRecordedRow&) const = default;
};

class CRecordingHostFeed : public CHostFeed {
  public:
    void RequireUserIDPassword() override;
    void GetUserIDPassword(char** userId, char** password) override;
    void NSTSETUPDATA(const char* symbol, const char* description, float interval, int columns,
                      const char* category, double startDate) override;
    void NSTSETLABEL(const char* symbol, float interval, int column, const char* label) override;
    void NSTSETVALUE(const char* symbol, float interval, int column, double value) override;
    void NSTCOMMITROW(const char* symbol, float interval) override;
    void UpdatePercent(int percent) override;

    // How many calls of the function op were made.
    int Count(const std::string& op) const;
    // The value, commit and progress calls as text: "V ABC -5 2 12.5"
    // (NSTSETVALUE), "C ABC -5" (NSTCOMMITROW), "P 42" (UpdatePercent).
    std::vector<std::string> Texts() const;
    // The committed rows' values, in column order.
    std::vector<std::vector<double>> Rows() const;
    std::vector<int> Percents() const;
    // Forgets every call and row.
    void Clear();

    std::vector<CHostCall> calls;
    std::vector<CRecordedRow> rows;
    // Values that come out of column order (columns run from 1 for one series
    // at a time) or a commit under another series than its values.
    int orderFaults = 0;

  private:
    void Record(const char* op, const char* symbol = "", float interval = 0.0f, int column = 0,
                const char* text = "", double value = 0.0);

    CRecordedRow m_pending;
};

}  // namespace orvella::testing
