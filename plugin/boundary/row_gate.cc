#include "plugin/boundary/row_gate.h"

#include <cstring>

namespace orvella {

bool CRowGate::LastRowDate(const std::string& symbol, float series, double* date) const {
    const auto found = m_lastRow.find(CSeriesKey(symbol, series));
    if (found == m_lastRow.end()) {
        return false;
    }
    *date = found->second;
    return true;
}

double* CRowGate::LastOf(const char* symbol, float series) {
    // Rows come series by series: the previous row's entry usually serves,
    // without building a key.
    if (m_pCached != nullptr && series == m_fCachedSeries && m_strCachedSymbol == symbol) {
        return m_pCached;
    }
    m_strCachedSymbol = symbol;
    m_fCachedSeries = series;
    m_pCached =
        &m_lastRow.try_emplace(CSeriesKey(m_strCachedSymbol, series), -1.0).first->second;
    return m_pCached;
}

void CRowGate::NSTSETVALUE(const char* symbol, float interval, int column, double value) {
    if (column == 1 && (m_bTrack || m_bFillingGap)) {
        m_pRowLast = LastOf(symbol, interval);
        m_dRowDate = value;
        m_bDropRow = m_bFillingGap && value <= *m_pRowLast;
    }
    if (!m_bDropRow) {
        m_pInner->NSTSETVALUE(symbol, interval, column, value);
    }
}

void CRowGate::NSTCOMMITROW(const char* symbol, float interval) {
    if (m_bDropRow) {
        m_bDropRow = false;
        ++m_nDropped;
        return;
    }
    if (m_pRowLast != nullptr) {
        *m_pRowLast = m_dRowDate;
        m_pRowLast = nullptr;
    }
    m_pInner->NSTCOMMITROW(symbol, interval);
}

void CRowGate::UpdatePercent(int percent) {
    if (!m_bFillingGap) {
        m_pInner->UpdatePercent(percent);
    }
}

CRowGate& RowGate() {
    static CRowGate gate;
    return gate;
}

}  // namespace orvella
