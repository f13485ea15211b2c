#include "plugin/boundary/row_gate.h"

namespace orvella {

namespace {

constexpr int kDateColumn = 1;
constexpr int kSizeColumn = 3;
constexpr int kTickTypeColumn = 4;
constexpr double kTickTypeTrade = 0.0;

}  // namespace

bool CRowGate::LastRowDate(const std::string& symbol, float series, double* date) const {
    const auto found = m_series.find(CSeriesKey(symbol, series));
    if (found == m_series.end()) {
        return false;
    }
    *date = found->second.last;
    return true;
}

void CRowGate::SetFillingGap(bool filling) {
    if (filling && !m_bFillingGap) {
        StartPass();
        m_nDropped = 0;
    }
    m_bFillingGap = filling;
}

void CRowGate::StartPass() {
    ++m_nPass;
}

void CRowGate::NoteBarHistory(const std::string& symbol, float series) {
    CSeries& entry = *SeriesOf(symbol.c_str(), series);
    entry.barVolume = entry.lastSize;
    entry.tradesAtLast = 0;
}

void CRowGate::SetWaiting(const std::string& symbol, float series, bool waiting) {
    SeriesOf(symbol.c_str(), series)->waiting = waiting;
}

bool CRowGate::Waiting(const std::string& symbol, float series) const {
    const auto found = m_series.find(CSeriesKey(symbol, series));
    return found != m_series.end() && found->second.waiting;
}

void CRowGate::BeginSeriesFill(const std::string& symbol, float series) {
    m_pFilled = SeriesOf(symbol.c_str(), series);
    m_fill = CFillCount();
}

CRowGate::CFillCount CRowGate::EndSeriesFill() {
    if (m_pFilled != nullptr) {
        m_pFilled->waiting = false;
        m_pFilled = nullptr;
    }
    return m_fill;
}

CRowGate::CSeries* CRowGate::SeriesOf(const char* symbol, float series) {
    // Rows come series by series: the previous row's entry usually serves,
    // without building a key.
    if (m_pCached != nullptr && series == m_fCachedSeries && m_strCachedSymbol == symbol) {
        return m_pCached;
    }
    m_strCachedSymbol = symbol;
    m_fCachedSeries = series;
    m_pCached = &m_series.try_emplace(CSeriesKey(m_strCachedSymbol, series)).first->second;
    return m_pCached;
}

bool CRowGate::Passes(CSeries& series, bool trade) {
    if (!m_bFillingGap) {
        return true;
    }
    if (series.pass != m_nPass) {
        series.pass = m_nPass;
        series.cut = series.last;
        series.cutTrades = series.tradesAtLast;
        series.seenAtCut = 0;
        series.volumeToSkip = series.barVolume;
    }
    const double date = m_row[kDateColumn];
    if (date < series.cut) {
        return false;
    }
    if (trade && series.volumeToSkip > 0.0) {
        series.volumeToSkip -= m_row[kSizeColumn];
        return false;
    }
    if (date != series.cut) {
        return true;
    }
    // The second already charted: its first cutTrades trades were charted,
    // and a quote change passes with the trade it comes before.
    if (trade) {
        return ++series.seenAtCut > series.cutTrades;
    }
    return series.seenAtCut >= series.cutTrades;
}

void CRowGate::Remember(CSeries& series, bool trade) {
    const double date = m_row[kDateColumn];
    series.lastSize = m_row[kSizeColumn];
    series.barVolume = 0.0;
    if (date == series.last) {
        series.tradesAtLast += trade ? 1 : 0;
    } else {
        series.last = date;
        series.tradesAtLast = trade ? 1 : 0;
    }
}

void CRowGate::NSTSETVALUE(const char* symbol, float interval, int column, double value) {
    if ((!m_bTrack && !m_bFillingGap) || column < 1 || column > kMaxColumns) {
        m_pInner->NSTSETVALUE(symbol, interval, column, value);
        return;
    }
    // The row is judged whole at its commit: a tick row's type comes last.
    m_row[static_cast<std::size_t>(column)] = value;
    if (column > m_nColumns) {
        m_nColumns = column;
    }
}

void CRowGate::NSTCOMMITROW(const char* symbol, float interval) {
    if (m_nColumns == 0) {
        m_pInner->NSTCOMMITROW(symbol, interval);
        return;
    }
    const int columns = m_nColumns;
    m_nColumns = 0;
    CSeries& series = *SeriesOf(symbol, interval);
    // Every row of a bar series is a trade; a tick series also has quotes.
    const bool trade =
        interval != 0.0f || columns < kTickTypeColumn || m_row[kTickTypeColumn] == kTickTypeTrade;
    if (series.waiting && &series != m_pFilled) {
        return;
    }
    if (!Passes(series, trade)) {
        ++m_nDropped;
        if (&series == m_pFilled) {
            ++m_fill.leftOut;
        }
        return;
    }
    Remember(series, trade);
    if (&series == m_pFilled) {
        if (m_fill.handed++ == 0) {
            m_fill.first = m_row[kDateColumn];
        }
        m_fill.last = m_row[kDateColumn];
    }
    for (int column = 1; column <= columns; ++column) {
        m_pInner->NSTSETVALUE(symbol, interval, column, m_row[static_cast<std::size_t>(column)]);
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
