#include "host/series.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace nsthost {
namespace {

constexpr double kUnset = std::numeric_limits<double>::quiet_NaN();

const std::string kNoLabel;

}  // namespace

SeriesKey SeriesKey::Of(const char* symbol, float interval) {
    SeriesKey key;
    key.symbol = symbol != nullptr ? symbol : "";
    std::memcpy(&key.intervalBits, &interval, sizeof interval);
    return key;
}

float SeriesKey::Interval() const {
    float interval = 0.0f;
    std::memcpy(&interval, &intervalBits, sizeof interval);
    return interval;
}

bool SeriesKey::operator<(const SeriesKey& other) const {
    if (symbol != other.symbol) {
        return symbol < other.symbol;
    }
    return intervalBits < other.intervalBits;
}

CSeries::CSeries(SeriesKey key, bool keepRows)
    : m_firstDate(kUnset), m_lastDate(kUnset), m_keepRows(keepRows), m_key(std::move(key)) {}

void CSeries::Announce(const char* description, int columns, const char* category, double start) {
    ++m_announcements;
    m_description = description != nullptr ? description : "";
    m_category = category != nullptr ? category : "";
    m_startDate = start;
    m_columns = columns;
    m_labels.clear();
}

bool CSeries::SetLabel(int column, const char* label) {
    if (column < 1 || column > kMaxColumn) {
        ++m_rejectedCalls;
        return false;
    }
    if (m_labels.size() < static_cast<size_t>(column)) {
        m_labels.resize(column);
    }
    m_labels[column - 1] = label != nullptr ? label : "";
    return true;
}

void CSeries::WidenRow(int columns) {
    m_pending.resize(static_cast<size_t>(columns), kUnset);
}

bool CSeries::JudgeArrival(double date, double arrival) {
    if (!std::isfinite(date) || !std::isfinite(arrival)) {
        return false;
    }
    const CFillDetector::Verdict verdict = m_fills.Judge(date * 86400.0, arrival);
    if (verdict == CFillDetector::Verdict::kStretchWasLive) {
        for (size_t i = m_stretchStart; i < m_rows.size(); ++i) {
            m_filledRows -= m_rows[i].filled ? 1 : 0;
            m_rows[i].filled = false;
        }
    }
    const bool filled = verdict == CFillDetector::Verdict::kFilled;
    if (filled && !m_inStretch) {
        m_stretchStart = m_rows.size();
    }
    m_inStretch = filled;
    m_filledRows += filled ? 1 : 0;
    return filled;
}

void CSeries::CommitRow(bool history, double arrival) {
    const double date = m_pending.empty() ? kUnset : m_pending[0];
    if (m_rowCount == 0) {
        m_firstDate = date;
    }
    m_lastDate = date;
    ++m_rowCount;
    if (history) {
        ++m_historyRows;
    }
    if (m_keepRows) {
        StoreRow(date, history, arrival);
    }
    // The row becomes the last one by a swap, not a copy; the buffers keep
    // their capacity, so a steady stream of rows allocates nothing here once
    // the widest row has been seen.
    m_lastValues.swap(m_pending);
    m_pending.resize(m_lastValues.size());
    std::fill(m_pending.begin(), m_pending.end(), kUnset);
}

void CSeries::StoreRow(double date, bool history, double arrival) {
    const bool filled = !history && JudgeArrival(date, arrival);
    m_rows.push_back({m_cells.size(), static_cast<uint32_t>(m_pending.size()), history, filled});
    m_cells.insert(m_cells.end(), m_pending.begin(), m_pending.end());
}

void CSeries::CommitCells(const int* columns, const double* values, int count, bool history,
                          double arrival) {
    double* cells = m_pending.data();
    size_t width = m_pending.size();
    for (int i = 0; i < count; ++i) {
        const size_t column = static_cast<size_t>(columns[i]);
        if (width < column) {
            WidenRow(columns[i]);
            cells = m_pending.data();
            width = m_pending.size();
        }
        cells[column - 1] = values[i];
    }
    CommitRow(history, arrival);
}

void CSeries::CountRows(uint64_t rows, uint64_t historyRows, int width) {
    m_rowCount += rows;
    m_historyRows += historyRows;
    if (m_pending.size() < static_cast<size_t>(width)) {
        WidenRow(width);
    }
}

const std::string& CSeries::Label(int column) const {
    if (column < 1 || static_cast<size_t>(column) > m_labels.size()) {
        return kNoLabel;
    }
    return m_labels[column - 1];
}

int CSeries::FindColumn(const std::string& label) const {
    for (size_t i = 0; i < m_labels.size(); ++i) {
        if (m_labels[i] == label) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

CSeries::RowView CSeries::Row(size_t index) const {
    const RowRef& ref = m_rows[index];
    return {std::span<const double>(m_cells.data() + ref.begin, ref.count), ref.history,
            ref.filled};
}

}  // namespace nsthost
