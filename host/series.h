// One series as the host's feed library keeps it: what the plug-in announced
// and the rows it committed.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "host/fill_detector.h"
#include "platform/platform_export.h"

// The host's C++ side of the feed library, shared with nst-host.
#if defined(NSTFEED_BUILDING)
#define NSTHOST_API ORVELLA_DLL_EXPORT
#else
#define NSTHOST_API ORVELLA_DLL_IMPORT
#endif

namespace nsthost {

// A series is named by its symbol text and its 32-bit float interval compared
// bit for bit, so -0.0 and 0.0 name two different series.
struct NSTHOST_API SeriesKey {
    std::string symbol;
    uint32_t intervalBits = 0;

    static SeriesKey Of(const char* symbol, float interval);
    float Interval() const;
    bool operator<(const SeriesKey& other) const;
};

// Highest column number the library accepts; calls for columns above it (or
// below 1) are counted as rejected and otherwise ignored, so a stray column
// number cannot make the library allocate without bound.
inline constexpr int kMaxColumn = 4096;

class NSTHOST_API CSeries {
  public:
    struct RowView {
        std::span<const double> cells;  // column 1 first; a cell never set is NaN
        bool history = false;           // committed while RequestTicker ran
        bool filled = false;            // streamed in a gap fill's burst (host/fill_detector.h)
    };

    CSeries(SeriesKey key, bool keepRows);

    // NSTSETUPDATA. A second announcement replaces the layout; rows stay.
    void Announce(const char* description, int columns, const char* category, double start);
    // NSTSETLABEL; false (nothing stored) for a column out of range.
    bool SetLabel(int column, const char* label);
    // NSTSETVALUE; false (nothing stored) for a column out of range. Inline:
    // a row's every value passes here.
    bool SetValue(int column, double value) {
        if (column < 1 || column > kMaxColumn) {
            ++m_rejectedCalls;
            return false;
        }
        if (m_pending.size() < static_cast<size_t>(column)) {
            WidenRow(column);
        }
        m_pending[column - 1] = value;
        return true;
    }
    // NSTCOMMITROW: appends the row under construction (also an empty one).
    // arrival: when a streamed row came, in seconds of a steady clock; a row
    // that has one and a date is judged as live or gap-filled when rows are
    // kept. NaN: not judged.
    void CommitRow(bool history, double arrival = std::numeric_limits<double>::quiet_NaN());
    // Sets count cells (columns from 1 up to kMaxColumn) and commits the
    // row as CommitRow does, in one call: a row kept while it was set
    // arrives so.
    void CommitCells(const int* columns, const double* values, int count, bool history,
                     double arrival);
    // For a series that keeps no rows: counts rows committed between the
    // last row and the next, whose cells would be kept by nobody (rows of
    // them, historyRows of them history, the widest with a cell in column
    // width). The next row must be committed after.
    void CountRows(uint64_t rows, uint64_t historyRows, int width);

    const SeriesKey& Key() const { return m_key; }
    bool Announced() const { return m_announcements > 0; }
    int Announcements() const { return m_announcements; }
    const std::string& Description() const { return m_description; }
    const std::string& Category() const { return m_category; }
    double StartDate() const { return m_startDate; }
    int Columns() const { return m_columns; }
    // Label of column (from 1); empty when never labelled.
    const std::string& Label(int column) const;
    const std::vector<std::string>& Labels() const { return m_labels; }
    // The column labelled exactly so, from 1; 0 when none is.
    int FindColumn(const std::string& label) const;

    uint64_t RowCount() const { return m_rowCount; }
    uint64_t HistoryRowCount() const { return m_historyRows; }
    // Stored rows judged part of a gap fill.
    uint64_t FilledRowCount() const { return m_filledRows; }
    uint64_t RejectedCalls() const { return m_rejectedCalls; }
    // Date (column 1) of the first and the last committed row; NaN if none.
    double FirstDate() const { return m_firstDate; }
    double LastDate() const { return m_lastDate; }
    // Cells of the last committed row.
    const std::vector<double>& LastValues() const { return m_lastValues; }

    // Stored rows: RowCount() of them, or none when rows are not kept.
    bool KeepsRows() const { return m_keepRows; }
    size_t StoredRows() const { return m_rows.size(); }
    RowView Row(size_t index) const;

  private:
    // Makes the row under construction columns wide, the new cells unset.
    void WidenRow(int columns);
    // Stores the row under construction (rows are kept).
    void StoreRow(double date, bool history, double arrival);
    // Marks the row about to be stored as filled or not, from its lag.
    bool JudgeArrival(double date, double arrival);

    struct RowRef {
        uint64_t begin;
        uint32_t count;
        bool history;
        bool filled;
    };

    // What every streamed row touches comes first, together (a series is
    // visited once per row among thousands, its lines out of the cache).
    std::vector<double> m_pending;
    std::vector<double> m_lastValues;
    uint64_t m_rowCount = 0;
    uint64_t m_historyRows = 0;
    double m_firstDate;
    double m_lastDate;
    bool m_keepRows;

    SeriesKey m_key;
    int m_announcements = 0;
    std::string m_description;
    std::string m_category;
    double m_startDate = 0.0;
    int m_columns = 0;
    std::vector<std::string> m_labels;
    std::vector<double> m_cells;
    std::vector<RowRef> m_rows;
    uint64_t m_rejectedCalls = 0;
    uint64_t m_filledRows = 0;
    CFillDetector m_fills;
    size_t m_stretchStart = 0;  // first stored row of the filled stretch under way
    bool m_inStretch = false;
};

}  // namespace nsthost
