#include "fuzz/fuzz_check.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace orvella::fuzz {

void CheckFailed(const char* file, int line, const char* what) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
    std::abort();
}

void CCheckingHostFeed::NSTSETUPDATA(const char*, const char*, float, int, const char*, double) {
    // The reply parsers announce nothing; the exports do.
    FUZZ_CHECK(!"a parser announced a series");
}

void CCheckingHostFeed::NSTSETLABEL(const char*, float, int, const char*) {
    FUZZ_CHECK(!"a parser labelled a column");
}

void CCheckingHostFeed::NSTSETVALUE(const char* symbol, float interval, int column, double value) {
    FUZZ_CHECK(symbol != nullptr);
    // A value that is no finite number never reaches the host.
    FUZZ_CHECK(std::isfinite(value));
    if (m_column == 0) {
        // A row starts with its date in column 1.
        FUZZ_CHECK(column == 1);
        FUZZ_CHECK(IsValidDayCount(value));
        m_rowSymbol = symbol;
        m_rowKey = FloatBits(interval);
        FUZZ_CHECK(m_columnsOf(m_context, m_rowSymbol, interval) > 0);
    } else {
        // One row, one series, columns in ascending order without gaps.
        FUZZ_CHECK(column == m_column + 1);
        FUZZ_CHECK(m_rowSymbol == symbol);
        FUZZ_CHECK(m_rowKey == FloatBits(interval));
    }
    m_column = column;
    char line[160];
    std::snprintf(line, sizeof line, "V %s %08" PRIx32 " %d %a\n", symbol, FloatBits(interval),
                  column, value);
    m_record += line;
}

void CCheckingHostFeed::NSTCOMMITROW(const char* symbol, float interval) {
    FUZZ_CHECK(symbol != nullptr);
    FUZZ_CHECK(m_column > 0);
    FUZZ_CHECK(m_rowSymbol == symbol);
    FUZZ_CHECK(m_rowKey == FloatBits(interval));
    FUZZ_CHECK(m_column == m_columnsOf(m_context, m_rowSymbol, interval));
    m_column = 0;
    ++m_rows;
    m_record += "C\n";
}

void CCheckingHostFeed::UpdatePercent(int percent) {
    FUZZ_CHECK(percent >= 0 && percent <= 100);
    // Progress never comes in the middle of a row.
    FUZZ_CHECK(m_column == 0);
    if (percent == 100) {
        ++m_hundreds;
    }
    m_lastPercent = percent;
    m_record += "P " + std::to_string(percent) + "\n";
}

}  // namespace orvella::fuzz
