// Checks that every end-to-end run shares.
#pragma once

#include <gtest/gtest.h>

#include <cmath>

#include "tests/e2e/e2e_support.h"

namespace orvella::e2e {

inline constexpr char kNow[] = "2024-03-06 11:00:00";
inline constexpr char kLoadAborted[] =
    "Aborting the loading of historical data because of an error! Please reload this chart!";
inline constexpr char kRequestFailed[] =
    "Aborting because we were unable to make a history request. Please reload this chart!";
inline constexpr char kDailyRequest[] = "request ABC 1440 2024-01-01";
inline constexpr char kSymbolRefused[] =
    "The symbol holds a control character or a comma and cannot be requested. Please check the "
    "chart's symbol!";

// The rows of a streaming 5-minute or daily load from a stand-in whose every
// reply holds lines made-up lines: the bars but the last (four rows each),
// then the last bar from its minutes (four rows each) and its last minute's
// trades (a row each). Made-up replies ignore the request's start, so how
// many of their lines lie in the last bar varies.
inline void ExpectStreamingBarLoadRows(size_t rows, size_t lines) {
    EXPECT_GT(rows, 4 * (lines - 1));
    EXPECT_LE(rows, 4 * (lines - 1) + 4 * (lines - 1) + lines);
}

// Every row of the run carries as many values as its layout has columns and
// a date that is a finite, valid day count.
inline void ExpectSoundRows(const CHostRun& run) {
    EXPECT_TRUE(run.rowsWellFormed);
    for (const CRow& row : run.rows) {
        ASSERT_FALSE(row.values.empty());
        EXPECT_TRUE(std::isfinite(row.values[0]) && row.values[0] > 0.0) << row.symbol;
        for (const double value : row.values) {
            EXPECT_FALSE(std::isnan(value)) << row.symbol;
        }
    }
}

// The load ended as a load must: each request returned 1 and the host's last
// progress is 100 percent; the host itself exited normally.
inline void ExpectLoadEnded(const CHostRun& run, size_t requests = 1) {
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(run.requestResults.size(), requests);
    for (const int result : run.requestResults) {
        EXPECT_EQ(result, 1);
    }
    ASSERT_FALSE(run.percents.empty());
    EXPECT_EQ(run.percents.back(), 100);
}

}  // namespace orvella::e2e
