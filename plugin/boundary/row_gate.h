// Between the plug-in and the host's feed library when the plug-in
// reconnects to the feed client: remembers the date of the last row handed to
// each series and, while the gap after a lost level-one connection is filled,
// hands the host only rows newer than that, so a chart gets no row twice and
// none out of order. Host thread only.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "plugin/boundary/host_feed.h"

namespace orvella {

class CRowGate : public CHostFeed {
  public:
    void SetInner(CHostFeed* inner) { m_pInner = inner; }

    // Remembers the last row of every series from now on.
    void TrackRows(bool track) { m_bTrack = track; }
    // The date (day count) of the last row handed to the series.
    bool LastRowDate(const std::string& symbol, float series, double* date) const;
    // While set, rows not newer than their series' last row are dropped and
    // progress is not passed on (the host asked for no load).
    void SetFillingGap(bool filling) { m_bFillingGap = filling; }
    // Rows dropped while gaps were filled.
    long DroppedRows() const { return m_nDropped; }

    void RequireUserIDPassword() override { m_pInner->RequireUserIDPassword(); }
    void GetUserIDPassword(char** userId, char** password) override {
        m_pInner->GetUserIDPassword(userId, password);
    }
    void NSTSETUPDATA(const char* symbol, const char* description, float interval, int columns,
                      const char* category, double startDate) override {
        m_pInner->NSTSETUPDATA(symbol, description, interval, columns, category, startDate);
    }
    void NSTSETLABEL(const char* symbol, float interval, int column, const char* label) override {
        m_pInner->NSTSETLABEL(symbol, interval, column, label);
    }
    void NSTSETVALUE(const char* symbol, float interval, int column, double value) override;
    void NSTCOMMITROW(const char* symbol, float interval) override;
    void UpdatePercent(int percent) override;

  private:
    using CSeriesKey = std::pair<std::string, float>;
    double* LastOf(const char* symbol, float series);

    CHostFeed* m_pInner = nullptr;
    bool m_bTrack = false;
    bool m_bFillingGap = false;
    std::map<CSeriesKey, double> m_lastRow;
    // The series looked up last (map entries do not move).
    std::string m_strCachedSymbol;
    float m_fCachedSeries = 0.0f;
    double* m_pCached = nullptr;
    // The series of the row being set, looked up once per row.
    double* m_pRowLast = nullptr;
    double m_dRowDate = 0.0;
    bool m_bDropRow = false;
    long m_nDropped = 0;
};

// The gate the shipped plug-in puts in front of the host's library.
CRowGate& RowGate();

}  // namespace orvella
