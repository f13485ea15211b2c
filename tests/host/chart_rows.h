// Series built from tables of rows, for the chart tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "host/day_count.h"
#include "host/series.h"

namespace nsthost {

inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// One committed row: its date as a script writes it (nullptr: no date), the
// cells of columns 2 and up, and whether it came while a request ran.
struct TestRow {
    const char* date;
    std::vector<double> values;
    bool history = true;
};

inline double DayCount(const char* text) {
    double value = kNoValue;
    EXPECT_TRUE(ParseDayCount(text, &value)) << text;
    return value;
}

inline int64_t Seconds(const char* text) {
    int64_t seconds = 0;
    EXPECT_TRUE(SecondsFromDayCount(DayCount(text), &seconds)) << text;
    return seconds;
}

// A series announced with the comma-separated labels, holding the rows.
inline CSeries MakeSeries(const char* symbol, float interval, const std::string& labels,
                          const std::vector<TestRow>& rows) {
    CSeries series(SeriesKey::Of(symbol, interval), true);
    std::vector<std::string> names;
    std::stringstream split(labels);
    for (std::string name; std::getline(split, name, ',');) {
        names.push_back(name);
    }
    series.Announce("", static_cast<int>(names.size()), "", 0.0);
    for (size_t i = 0; i < names.size(); ++i) {
        series.SetLabel(static_cast<int>(i) + 1, names[i].c_str());
    }
    for (const TestRow& row : rows) {
        series.SetValue(1, row.date != nullptr ? DayCount(row.date) : kNoValue);
        for (size_t i = 0; i < row.values.size(); ++i) {
            series.SetValue(static_cast<int>(i) + 2, row.values[i]);
        }
        series.CommitRow(row.history);
    }
    return series;
}

// History rows at these times, each with price 10 and volume 100.
inline std::vector<TestRow> RowsAt(const std::vector<std::string>& times) {
    std::vector<TestRow> rows;
    for (const std::string& time : times) {
        rows.push_back({time.c_str(), {10.0, 100.0}, true});
    }
    return rows;
}

// count times from start, step seconds apart, as "YYYY-MM-DDTHH:MM:SS".
inline std::vector<std::string> Every(const char* start, int count, int64_t step) {
    std::vector<std::string> times;
    for (int64_t t = Seconds(start), i = 0; i < count; ++i, t += step) {
        std::string text = FormatSeconds(t);
        text[10] = 'T';
        times.push_back(text);
    }
    return times;
}

}  // namespace nsthost
