#include "plugin/boundary/row_gate.h"

#include <atomic>
#include <cstring>

namespace orvella {

namespace {

constexpr int kDateColumn = 1;
constexpr int kPriceColumn = 2;
constexpr int kSizeColumn = 3;
constexpr int kTickTypeColumn = 4;
constexpr double kTickTypeTrade = 0.0;
// Rows of one second a series keeps room for without growing.
constexpr std::size_t kReservedRows = 64;

// The index's tag of a series: its bits, a tick series' zero without its
// sign (the map holds both zeros as one series).
uint32_t SeriesTag(float series) {
    const float unsignedZero = series + 0.0f;
    uint32_t bits;
    std::memcpy(&bits, &unsignedZero, sizeof bits);
    return bits;
}

}  // namespace

CRowGate::CRowGate() {
    static std::atomic<uint64_t> gates{0};
    m_nNoteOwner = gates.fetch_add(1) + 1;
}

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
    if (!filling) {
        EndPass();
    }
    m_bFillingGap = filling;
}

void CRowGate::StartPass() {
    EndPass();
    ++m_nPass;
    m_bHeldPass = false;
}

void CRowGate::StartHeldPass() {
    StartPass();
    m_bHeldPass = true;
}

void CRowGate::EndPass() {
    m_bHeldPass = false;
    if (m_nHeld == 0 && m_nLoadPasses == 0) {
        return;
    }
    for (auto& entry : m_series) {
        if (!entry.second.held.empty()) {
            JudgeHeld(entry.second);
        }
        entry.second.loadPass = false;
    }
    m_nLoadPasses = 0;
}

void CRowGate::StartLoadPass(const std::string& symbol, float series) {
    if (!m_bTrack) {
        return;
    }
    CSeries& entry = *SeriesOf(symbol.c_str(), series);
    if (entry.loadPass) {
        return;
    }
    entry.loadPass = true;
    ++m_nLoadPasses;
    // A fill that begins later (a new pass) judges the series afresh.
    entry.pass = m_nPass;
    entry.cut = entry.last;
    entry.cutTrades = entry.tradesAtLast;
    entry.seenAtCut = 0;
    entry.volumeToSkip = 0.0;
    entry.byContent = true;
    entry.cutJudged = false;
}

void CRowGate::EndLoadPassesNow() {
    for (auto& entry : m_series) {
        CSeries& series = entry.second;
        if (series.loadPass) {
            if (!series.held.empty()) {
                JudgeHeld(series);
            }
            series.loadPass = false;
        }
    }
    m_nLoadPasses = 0;
}

void CRowGate::EndLoadPass(const std::string& symbol, float series) {
    const auto found = m_series.find(CSeriesKey(symbol, series));
    if (found == m_series.end() || !found->second.loadPass) {
        return;
    }
    if (!found->second.held.empty()) {
        JudgeHeld(found->second);
    }
    found->second.loadPass = false;
    --m_nLoadPasses;
}

void CRowGate::ReleaseHeldRows(const std::string& symbol, float series) {
    const auto found = m_series.find(CSeriesKey(symbol, series));
    if (found != m_series.end() && !found->second.held.empty()) {
        JudgeHeld(found->second);
    }
}

void CRowGate::NoteBarHistory(const std::string& symbol, float series) {
    CSeries& entry = *SeriesOf(symbol.c_str(), series);
    entry.barVolume = entry.lastSize;
    entry.tradesAtLast = 0;
    entry.lastTrades.clear();
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

void CRowGate::AbandonSeriesFill() {
    if (m_pFilled != nullptr) {
        m_pFilled->waiting = true;
        m_pFilled = nullptr;
    }
}

CRowGate::CSeries* CRowGate::SeriesOf(const char* symbol, float series) {
    const std::string_view name(symbol);
    const uint32_t tag = SeriesTag(series);
    if (CSeries* found = m_seriesIndex.Find(name, tag)) {
        return found;
    }
    const auto [entry, added] = m_series.try_emplace(CSeriesKey(name, series));
    CSeries& listed = entry->second;
    if (added) {
        listed.key = &entry->first;
        listed.lastTrades.reserve(kReservedRows);
    }
    m_seriesIndex.Insert(entry->first.first, tag, &listed);
    return &listed;
}

CRowGate::CVerdict CRowGate::Judge(CSeries& series, bool trade) {
    if (!m_bFillingGap && !series.loadPass) {
        return CVerdict::kPass;
    }
    if (series.pass != m_nPass && !series.loadPass) {
        series.pass = m_nPass;
        series.cut = series.last;
        series.cutTrades = series.tradesAtLast;
        series.seenAtCut = 0;
        series.volumeToSkip = series.barVolume;
        series.byContent = m_bHeldPass;
        series.cutJudged = false;
    }
    const double date = m_row[kDateColumn];
    if (date < series.cut) {
        return CVerdict::kDrop;
    }
    if (trade && series.volumeToSkip > 0.0) {
        series.volumeToSkip -= m_row[kSizeColumn];
        return CVerdict::kDrop;
    }
    if (date != series.cut) {
        // The cut second is complete: its held rows go before this one.
        if (!series.held.empty()) {
            JudgeHeld(series);
        }
        series.cutJudged = true;
        return CVerdict::kPass;
    }
    if (series.byContent) {
        return series.cutJudged ? CVerdict::kPass : CVerdict::kHold;
    }
    // The second already charted: its first cutTrades trades were charted,
    // and a quote change passes with the trade it comes before.
    if (trade) {
        return ++series.seenAtCut > series.cutTrades ? CVerdict::kPass : CVerdict::kDrop;
    }
    return series.seenAtCut >= series.cutTrades ? CVerdict::kPass : CVerdict::kDrop;
}

void CRowGate::JudgeHeld(CSeries& series) {
    m_heldTrades.clear();
    for (const CHeldRow& row : series.held) {
        if (row.trade) {
            m_heldTrades.push_back({row.values[kPriceColumn], row.values[kSizeColumn], row.volume});
        }
    }
    // The live stream of the second began anywhere in it: the held trades
    // the series has are the longest leading run of them that ends its last
    // trades. Found in one walk over both (the borders of the held run tell
    // where a failed comparison goes on).
    const std::size_t count = m_heldTrades.size();
    m_border.assign(count, 0);
    for (std::size_t i = 1, k = 0; i < count; ++i) {
        while (k > 0 && !(m_heldTrades[i] == m_heldTrades[k])) {
            k = m_border[k - 1];
        }
        if (m_heldTrades[i] == m_heldTrades[k]) {
            ++k;
        }
        m_border[i] = k;
    }
    std::size_t matched = 0;
    for (const CTrade& charted : series.lastTrades) {
        while (matched > 0 && (matched == count || !(charted == m_heldTrades[matched]))) {
            matched = m_border[matched - 1];
        }
        if (matched < count && charted == m_heldTrades[matched]) {
            ++matched;
        }
    }
    series.cutJudged = true;
    m_nHeld -= static_cast<long>(series.held.size());
    // A quote row goes with the trade it comes before.
    std::size_t dropped = 0;
    for (const CHeldRow& row : series.held) {
        if (dropped < matched) {
            dropped += row.trade ? 1 : 0;
            ++m_nDropped;
            if (&series == m_pFilled) {
                ++m_fill.leftOut;
            }
            continue;
        }
        HandOn(series.key->first.c_str(), row.interval, series, row.values, row.columns, row.trade,
               row.volume);
    }
    series.held.clear();
}

void CRowGate::Remember(CSeries& series, const CValues& row, bool trade, double volume) {
    const double date = row[kDateColumn];
    series.lastSize = row[kSizeColumn];
    series.barVolume = 0.0;
    if (date != series.last) {
        series.last = date;
        series.tradesAtLast = 0;
        series.lastTrades.clear();
    }
    if (trade) {
        ++series.tradesAtLast;
        series.lastTrades.push_back({row[kPriceColumn], row[kSizeColumn], volume});
    }
}

void CRowGate::HandOn(const char* symbol, float interval, CSeries& series, const CValues& row,
                      int columns, bool trade, double volume) {
    Remember(series, row, trade, volume);
    if (&series == m_pFilled) {
        if (m_fill.handed++ == 0) {
            m_fill.first = row[kDateColumn];
        }
        m_fill.last = row[kDateColumn];
    }
    for (int column = 1; column <= columns; ++column) {
        m_pInner->NSTSETVALUE(symbol, interval, column, row[static_cast<std::size_t>(column)]);
    }
    m_pInner->NSTCOMMITROW(symbol, interval);
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
    Commit(symbol, interval, nullptr);
}

void CRowGate::CommitRow(const char* symbol, float interval, CSeriesNote* note) {
    Commit(symbol, interval, note);
}

void CRowGate::Commit(const char* symbol, float interval, CSeriesNote* note) {
    if (m_nColumns == 0) {
        m_pInner->NSTCOMMITROW(symbol, interval);
        return;
    }
    const int columns = m_nColumns;
    m_nColumns = 0;
    CSeries* known = note != nullptr && note->owner == m_nNoteOwner
                         ? static_cast<CSeries*>(note->series)
                         : nullptr;
    if (known == nullptr) {
        known = SeriesOf(symbol, interval);
        if (note != nullptr) {
            *note = CSeriesNote{m_nNoteOwner, known};
        }
    }
    CSeries& series = *known;
    // Every row of a bar series is a trade; a tick series also has quotes.
    const bool trade =
        interval != 0.0f || columns < kTickTypeColumn || m_row[kTickTypeColumn] == kTickTypeTrade;
    if (series.waiting && &series != m_pFilled) {
        return;
    }
    switch (Judge(series, trade)) {
        case CVerdict::kDrop:
            ++m_nDropped;
            if (&series == m_pFilled) {
                ++m_fill.leftOut;
            }
            return;
        case CVerdict::kHold:
            if (series.held.empty()) {
                series.held.reserve(kReservedRows);
            }
            series.held.push_back({m_row, columns, interval, trade, m_dayVolume});
            ++m_nHeld;
            return;
        case CVerdict::kPass:
            break;
    }
    HandOn(symbol, interval, series, m_row, columns, trade, m_dayVolume);
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
