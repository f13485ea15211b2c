// Bars, trading-time axis and ticks of the host's charts, from tables of rows.
#include "host/chart_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/day_count.h"
#include "tests/host/chart_rows.h"

namespace nsthost {
namespace {

constexpr double N = kNoValue;

struct ExpectedBar {
    const char* time;
    double open, high, low, close, volume;
    uint32_t history, streamed;
};

struct BarCase {
    const char* name;
    const char* columns;
    float interval;
    std::vector<TestRow> rows;
    std::vector<ExpectedBar> bars;
    uint64_t undated = 0;
};

void ExpectSame(double expected, double actual, const std::string& what) {
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << what << ": " << actual;
    } else {
        EXPECT_DOUBLE_EQ(expected, actual) << what;
    }
}

TEST(ChartModelTest, BarsAreBuiltFromTheRows) {
    const BarCase cases[] = {
        {"streaming layout: four rows per history bar, trades join and open bars",
         "Date/Time,Close,Volume",
         -5.0f,
         {{"2011-08-05T09:30:00", {10.0, 0.0}, true},
          {"2011-08-05T09:30:00", {10.5, 0.0}, true},
          {"2011-08-05T09:30:00", {9.5, 0.0}, true},
          {"2011-08-05T09:30:00", {10.2, 300.0}, true},
          {"2011-08-05T09:35:00", {10.2, 0.0}, true},
          {"2011-08-05T09:35:00", {10.4, 0.0}, true},
          {"2011-08-05T09:35:00", {10.1, 0.0}, true},
          {"2011-08-05T09:35:00", {10.3, 200.0}, true},
          {"2011-08-05T09:37:12", {10.6, 50.0}, false},
          {"2011-08-05T09:40:00", {10.0, 20.0}, false},
          {"2011-08-05T09:41:59", {10.1, 30.0}, false}},
         {{"2011-08-05 09:30:00", 10.0, 10.5, 9.5, 10.2, 300.0, 4, 0},
          {"2011-08-05 09:35:00", 10.2, 10.6, 10.1, 10.6, 250.0, 4, 1},
          {"2011-08-05 09:40:00", 10.0, 10.1, 10.0, 10.1, 50.0, 0, 2}}},
        {"history layout: one row per bar with its own open, high, low and close",
         "Date,Open,High,Low,Close,Volume",
         5.0f,
         {{"2011-08-05T09:30:00", {10.0, 10.5, 9.5, 10.2, 300.0}, true},
          {"2011-08-05T09:35:00", {10.2, 10.4, 10.1, 10.3, 200.0}, true},
          {"2011-08-05T09:36:00", {10.3, 10.9, 10.3, 10.8, 100.0}, false}},
         {{"2011-08-05 09:30:00", 10.0, 10.5, 9.5, 10.2, 300.0, 1, 0},
          {"2011-08-05 09:35:00", 10.2, 10.9, 10.1, 10.8, 300.0, 1, 1}}},
        {"daily: a trade of the day joins the day's history bar",
         "Date/Time,Close,Volume",
         -1440.0f,
         {{"2011-08-04", {12.0, 0.0}, true},
          {"2011-08-04", {12.5, 1000.0}, true},
          {"2011-08-05", {12.5, 0.0}, true},
          {"2011-08-05", {12.1, 500.0}, true},
          {"2011-08-05T11:00:06", {11.9, 10.0}, false}},
         {{"2011-08-04 00:00:00", 12.0, 12.5, 12.0, 12.5, 1000.0, 2, 0},
          {"2011-08-05 00:00:00", 12.5, 12.5, 11.9, 11.9, 510.0, 2, 1}}},
        {"weekly bars start on Monday; monthly bars on the first",
         "Date/Time,Close,Volume",
         -10080.0f,
         {{"2011-08-03", {1.0, 1.0}, true},   // Wednesday
          {"2011-08-07", {2.0, 1.0}, true},   // Sunday, same week
          {"2011-08-08", {3.0, 1.0}, true}},  // Monday
         {{"2011-08-01 00:00:00", 1.0, 2.0, 1.0, 2.0, 2.0, 2, 0},
          {"2011-08-08 00:00:00", 3.0, 3.0, 3.0, 3.0, 1.0, 1, 0}}},
        {"monthly",
         "Date/Time,Close,Volume",
         -43200.0f,
         {{"2011-07-29", {1.0, 1.0}, true},
          {"2011-08-31", {2.0, 1.0}, true},
          {"2011-08-01", {3.0, 1.0}, true}},
         {{"2011-07-01 00:00:00", 1.0, 1.0, 1.0, 1.0, 1.0, 1, 0},
          {"2011-08-01 00:00:00", 3.0, 3.0, 2.0, 2.0, 2.0, 2, 0}}},
        {"a late row lands in its own bar; undated rows are counted, not drawn",
         "Date/Time,Close,Volume",
         -1.0f,
         {{"2011-08-05T09:31:00", {2.0, 1.0}, true},
          {"2011-08-05T09:30:30", {1.0, 1.0}, false},
          {nullptr, {5.0, 1.0}, false},
          {"2011-08-05T09:32:00", {N, N}, false}},
         {{"2011-08-05 09:30:00", 1.0, 1.0, 1.0, 1.0, 1.0, 0, 1},
          {"2011-08-05 09:31:00", 2.0, 2.0, 2.0, 2.0, 1.0, 1, 0},
          {"2011-08-05 09:32:00", N, N, N, N, N, 0, 1}},
         1},
        {"ticks stay ticks, equal times included",
         "Date/Time,TickPrice,TickVol,TickType",
         -0.0f,
         {{"2011-08-05T09:30:01", {10.1, 300.0, 4.0}, true},
          {"2011-08-05T09:30:01", {10.0, 100.0, 0.0}, true},
          {"2011-08-05T09:30:01", {10.05, 50.0, 0.0}, false}},
         {{"2011-08-05 09:30:01", 10.1, 10.1, 10.1, 10.1, 300.0, 1, 0},
          {"2011-08-05 09:30:01", 10.0, 10.0, 10.0, 10.0, 100.0, 1, 0},
          {"2011-08-05 09:30:01", 10.05, 10.05, 10.05, 10.05, 50.0, 0, 1}}},
    };
    for (const BarCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CSeries series = MakeSeries("S", c.interval, c.columns, c.rows);
        const ChartData data = BuildBars(series);
        EXPECT_EQ(data.undatedRows, c.undated);
        ASSERT_EQ(data.bars.size(), c.bars.size());
        for (size_t i = 0; i < c.bars.size(); ++i) {
            const ExpectedBar& e = c.bars[i];
            const ChartBar& b = data.bars[i];
            const std::string at = "bar " + std::to_string(i);
            EXPECT_EQ(FormatSeconds(b.time), e.time) << at;
            ExpectSame(e.open, b.open, at + " open");
            ExpectSame(e.high, b.high, at + " high");
            ExpectSame(e.low, b.low, at + " low");
            ExpectSame(e.close, b.close, at + " close");
            ExpectSame(e.volume, b.volume, at + " volume");
            EXPECT_EQ(b.historyRows, e.history) << at;
            EXPECT_EQ(b.streamedRows, e.streamed) << at;
        }
    }
    const CSeries ticks = MakeSeries("T", -0.0f, "Date/Time,TickPrice,TickVol,TickType",
                                     {{"2011-08-05T09:30:01", {10.1, 300.0, 4.0}, true},
                                      {"2011-08-05T09:30:02", {10.0, 100.0, 0.0}, true}});
    const ChartData tickData = BuildBars(ticks);
    EXPECT_TRUE(tickData.bars[0].quote);
    EXPECT_FALSE(tickData.bars[1].quote);
}

TEST(ChartModelTest, PeriodsOfTheIntervals) {
    struct Case {
        float interval;
        const char* name;
        const char* traderName;
        const char* time;
        const char* start;
    };
    const Case cases[] = {
        {-0.0f, "ticks", "ticks", "2011-08-05T09:31:17", "2011-08-05 09:31:17"},
        {5.0f, "5-minute bars", "5-minute", "2011-08-05T09:34:59", "2011-08-05 09:30:00"},
        {-60.0f, "60-minute bars", "60-minute", "2011-08-05T09:34:59", "2011-08-05 09:00:00"},
        {0.5f, "30-second bars", "30-second", "2011-08-05T09:34:59", "2011-08-05 09:34:30"},
        {-1440.0f, "daily bars", "daily", "2011-08-05T09:34:59", "2011-08-05 00:00:00"},
        {10080.0f, "weekly bars", "weekly", "2011-08-07T23:59:59", "2011-08-01 00:00:00"},
        {-302400.0f, "monthly bars", "monthly", "2011-08-31T12:00:00", "2011-08-01 00:00:00"},
        {43200.0f, "monthly bars", "monthly", "1899-12-29T06:00:00", "1899-12-01 00:00:00"},
    };
    for (const Case& c : cases) {
        const BarPeriod period = BarPeriod::OfInterval(c.interval);
        EXPECT_EQ(period.Name(), c.name) << c.interval;
        EXPECT_EQ(period.TraderName(), c.traderName) << c.interval;
        EXPECT_EQ(FormatSeconds(period.Start(Seconds(c.time))), c.start) << c.interval;
    }
}

// The last price against the close before it: of the day before for
// intraday bars and ticks (quotes left out), of the bar before otherwise.
// History rows committed after streamed ones are a gap fill.
TEST(ChartModelTest, LastPriceAgainstThePreviousClose) {
    struct Case {
        const char* what;
        float interval;
        const char* labels;
        std::vector<TestRow> rows;
        double last;
        double previous;
        std::vector<uint32_t> filled;  // per bar
    };
    const Case cases[] = {
        {"intraday: yesterday's last bar",
         -5.0f,
         "Date/Time,Close,Volume",
         {{"2011-08-04T15:55:00", {9.0, 1}},
          {"2011-08-05T09:30:00", {9.5, 1}},
          {"2011-08-05T09:35:00", {10.0, 1}, false},
          {"2011-08-05T09:40:00", {10.5, 1}}},
         10.5,
         9.0,
         {0, 0, 0, 1}},
        {"intraday: no day before",
         -5.0f,
         "Date/Time,Close,Volume",
         {{"2011-08-05T09:30:00", {9.5, 1}}, {"2011-08-05T09:35:00", {10.0, 1}}},
         10.0,
         kNoValue,
         {0, 0}},
        {"daily: the bar before",
         -1440.0f,
         "Date/Time,Close,Volume",
         {{"2011-08-04T00:00:00", {9.0, 1}}, {"2011-08-05T00:00:00", {9.5, 1}}},
         9.5,
         9.0,
         {0, 0}},
        {"ticks: quotes are no price",
         -0.0f,
         "Date/Time,TickPrice,TickVol,TickType",
         {{"2011-08-04T15:59:00", {8.0, 1, 0}},
          {"2011-08-04T15:59:30", {8.5, 0, 1}},
          {"2011-08-05T09:31:00", {9.0, 1, 0}},
          {"2011-08-05T09:32:00", {9.1, 0, 2}}},
         9.0,
         8.0,
         {0, 0, 0, 0}},
        {"nothing priced",
         -5.0f,
         "Date/Time,Close",
         {{"2011-08-05T09:30:00", {kNoValue}}},
         kNoValue,
         kNoValue,
         {0}},
    };
    auto same = [](double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; };
    for (const Case& c : cases) {
        const CSeries series = MakeSeries("ABC", c.interval, c.labels, c.rows);
        const ChartData data = BuildBars(series);
        const LastChange change = LastAndPreviousClose(data);
        EXPECT_TRUE(same(change.last, c.last)) << c.what << ": " << change.last;
        EXPECT_TRUE(same(change.previous, c.previous)) << c.what << ": " << change.previous;
        std::vector<uint32_t> filled;
        for (const ChartBar& bar : data.bars) {
            filled.push_back(bar.filledRows);
        }
        EXPECT_EQ(filled, c.filled) << c.what;
    }
}

TEST(ChartModelTest, GapsWithoutRowsCollapseIntoBreaks) {
    struct Case {
        const char* name;
        float interval;
        std::vector<std::string> times;
        std::vector<size_t> breaks;
    };
    const Case cases[] = {
        {"a weekend between five-minute bars",
         -5.0f,
         {"2011-08-05T15:50:00", "2011-08-05T15:55:00", "2011-08-08T09:30:00",
          "2011-08-08T09:35:00"},
         {2}},
        {"a night, and a pause of more than an hour (an hour is none)",
         -5.0f,
         {"2011-08-04T15:55:00", "2011-08-05T09:30:00", "2011-08-05T09:35:00",
          "2011-08-05T10:35:00", "2011-08-05T11:40:00"},
         {1, 4}},
        {"hourly bars: two hours are no gap, a night is",
         -60.0f,
         {"2011-08-05T09:00:00", "2011-08-05T10:00:00", "2011-08-05T12:00:00",
          "2011-08-06T09:00:00"},
         {3}},
        {"daily bars: a weekend is their rhythm, a week-long pause is a gap",
         -1440.0f,
         {"2011-08-04", "2011-08-05", "2011-08-08", "2011-08-16"},
         {3}},
        {"ticks a minute apart, then the next morning",
         -0.0f,
         {"2011-08-05T15:59:00", "2011-08-05T16:00:00", "2011-08-08T09:30:00"},
         {2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChartData data =
            BuildBars(MakeSeries("S", c.interval, "Date/Time,Close,Volume", RowsAt(c.times)));
        const TimeAxis axis = TradingTimeAxis(data.bars, data.period);
        EXPECT_EQ(axis.breaks, c.breaks);
        // One slot per bar, and a break is only a little wider than a bar.
        EXPECT_DOUBLE_EQ(axis.span, static_cast<double>(c.times.size()) +
                                        kBreakSlots * static_cast<double>(c.breaks.size()));
        for (const size_t b : c.breaks) {
            EXPECT_DOUBLE_EQ(axis.slot[b] - axis.slot[b - 1], 1.0 + kBreakSlots);
        }
    }
}

TEST(ChartModelTest, TimeTicksAreLabelledInOrderAtRoundSteps) {
    constexpr int64_t kMinute = 60;
    constexpr int64_t kDay = 86400;
    struct Case {
        const char* name;
        float interval;
        std::vector<std::string> times;
        double pixelsPerBar;
        std::vector<std::string> labels;  // '*' before a major label
    };
    const Case cases[] = {
        {"five-minute bars of a morning: half hours",
         -5.0f,
         Every("2011-08-05T09:30:00", 20, 5 * kMinute),
         16.0,
         {"*Aug 5", "10:00", "10:30", "11:00"}},
        {"crowded: a coarser step, and no label crammed beside the first",
         -5.0f,
         Every("2011-08-05T09:30:00", 20, 5 * kMinute),
         8.0,
         {"*Aug 5", "11:00"}},
        {"a round time, also when its bar is missing",
         -5.0f,
         {"2011-08-05T09:30:00", "2011-08-05T09:45:00", "2011-08-05T10:05:00",
          "2011-08-05T10:20:00"},
         40.0,
         {"*Aug 5", "10:00"}},
        {"across days the new day shows its date",
         -5.0f,
         {"2011-08-05T15:00:00", "2011-08-05T15:55:00", "2011-08-08T09:30:00",
          "2011-08-08T10:00:00", "2011-08-08T10:05:00"},
         100.0,
         {"*Aug 5", "15:55", "*Aug 8", "10:00", "10:05"}},
        {"seconds for ticks",
         -0.0f,
         {"2011-08-05T09:30:01", "2011-08-05T09:30:04", "2011-08-05T09:30:05",
          "2011-08-05T09:30:11"},
         100.0,
         {"*Aug 5", "09:30:04", "09:30:05", "09:30:11"}},
        {"daily bars: months, and the year where it turns",
         -1440.0f,
         Every("2011-10-03", 150, kDay),
         4.0,
         {"*Oct 2011", "Nov", "Dec", "*2012", "Feb"}},
        {"a new year outranks the start of the chart",
         -1440.0f,
         {"2011-12-29", "2011-12-30", "2012-01-02", "2012-01-03", "2012-01-04", "2012-01-05"},
         20.0,
         {"*2012"}},
        {"monthly bars over decades: years",
         -43200.0f,
         {"1990-01-01", "1995-01-01", "2000-01-01", "2005-01-01"},
         80.0,
         {"*Jan 1990", "*1995", "*2000", "*2005"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChartData data =
            BuildBars(MakeSeries("S", c.interval, "Date/Time,Close,Volume", RowsAt(c.times)));
        std::vector<double> x;
        for (size_t i = 0; i < data.bars.size(); ++i) {
            x.push_back(static_cast<double>(i) * c.pixelsPerBar);
        }
        std::vector<std::string> labels;
        size_t previous = 0;
        for (const TimeLabel& label : TimeLabels(data.bars, x, data.period, 64.0)) {
            EXPECT_TRUE(labels.empty() || label.bar > previous) << label.text;
            previous = label.bar;
            labels.push_back((label.major ? "*" : "") + label.text);
        }
        EXPECT_EQ(labels, c.labels);
    }
}

TEST(ChartModelTest, PriceTicksAreRoundSteps) {
    struct Case {
        double low, high;
        int maxTicks;
        double step;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {52.8, 58.3, 8, 1.0, {"53", "54", "55", "56", "57", "58"}},
        {5.55, 6.12, 8, 0.1, {"5.6", "5.7", "5.8", "5.9", "6.0", "6.1"}},
        {0.0, 1000.0, 5, 250.0, {"0", "250", "500", "750", "1000"}},
        {-0.3, 0.3, 4, 0.2, {"-0.2", "0.0", "0.2"}},
        {1e6, 1e6, 4, 1000.0, {"1000000"}},
        {0.0, 380000.0, 3, 200000.0, {"0", "200000"}},
    };
    for (const Case& c : cases) {
        double step = 0.0;
        std::vector<std::string> texts;
        for (const double tick : NiceTicks(c.low, c.high, c.maxTicks, &step)) {
            texts.push_back(TickText(tick, step));
        }
        EXPECT_DOUBLE_EQ(step, c.step) << c.low << ".." << c.high;
        EXPECT_EQ(texts, c.texts) << c.low << ".." << c.high;
    }
    double step = 0.0;
    EXPECT_TRUE(NiceTicks(NAN, 1.0, 5, &step).empty());
    EXPECT_TRUE(NiceTicks(2.0, 1.0, 5, &step).empty());
}

}  // namespace
}  // namespace nsthost
