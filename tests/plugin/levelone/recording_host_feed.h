// A host feed library double that records the rows the plug-in commits.
#pragma once

#include <string>
#include <vector>

#include "tests/plugin/quiet_host_feed.h"

namespace orvella {

struct CRecordedRow {
    std::string symbol;
    float series = 0.0f;
    // Column values in ascending column order (column 1 first).
    std::vector<double> values;
    bool operator==(const CRecordedRow&) const = default;
};

class CRecordingHostFeed : public CQuietHostFeed {
  public:
    void NSTSETVALUE(const char* symbol, float interval, int column, double value) override {
        // Columns must come in ascending order from 1 for one series at a time.
        if (m_pending.values.empty()) {
            m_pending.symbol = symbol;
            m_pending.series = interval;
        }
        if (column != static_cast<int>(m_pending.values.size()) + 1 || m_pending.symbol != symbol ||
            m_pending.series != interval) {
            ++m_nOrderFaults;
        }
        m_pending.values.push_back(value);
    }
    void NSTCOMMITROW(const char* symbol, float interval) override {
        if (m_pending.symbol != symbol || m_pending.series != interval) {
            ++m_nOrderFaults;
        }
        m_rows.push_back(m_pending);
        m_pending = CRecordedRow{};
    }

    std::vector<CRecordedRow> m_rows;
    CRecordedRow m_pending;
    int m_nOrderFaults = 0;
};

}  // namespace orvella
