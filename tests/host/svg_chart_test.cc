// What a chart shows, read back from its SVG: the bars built from known rows,
// the labelled time ticks, a collapsed weekend, the streamed part and the
// last price.
#include "host/svg_chart.h"

#include <gtest/gtest.h>

#include <QString>
#include <QXmlStreamReader>
#include <map>
#include <string>
#include <vector>

#include "tests/host/chart_rows.h"

namespace nsthost {
namespace {

// The parts of a chart the tests look at.
struct ReadChart {
    struct Bar {
        std::string cls;
        std::string title;
        double x = 0.0;  // the wick's (or dot's) position
    };
    std::string title;
    std::vector<Bar> bars;
    std::vector<std::string> timeLabels;
    std::vector<std::string> breaks;  // their titles
    std::vector<double> priceLabels;  // top to bottom
    double bandX = -1.0;
    std::string lastPrice;
    std::string error;
};

ReadChart Read(const std::string& svg) {
    ReadChart chart;
    QXmlStreamReader xml(QString::fromStdString(svg));
    std::string group;  // class of the open <g>
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::EndElement && xml.name() == QLatin1String("g")) {
            group.clear();
        }
        if (!xml.isStartElement()) {
            continue;
        }
        const std::string name = xml.name().toString().toStdString();
        const std::string cls = xml.attributes().value("class").toString().toStdString();
        if (name == "g") {
            group = cls;
            if (cls.rfind("bar ", 0) == 0) {
                chart.bars.push_back({cls.substr(4), "", 0.0});
            }
        } else if (name == "title") {
            const std::string text = xml.readElementText().toStdString();
            if (group.rfind("bar ", 0) == 0) {
                chart.bars.back().title = text;
            } else if (group == "break") {
                chart.breaks.push_back(text);
            } else if (group.empty()) {
                chart.title = text;
            }
        } else if (group.rfind("bar ", 0) == 0 && (name == "line" || name == "circle")) {
            chart.bars.back().x = xml.attributes().value(name == "line" ? "x1" : "cx").toDouble();
        } else if (name == "text" && cls.rfind("time-label", 0) == 0) {
            chart.timeLabels.push_back(xml.readElementText().toStdString());
        } else if (name == "text" && cls == "price-label") {
            chart.priceLabels.push_back(xml.readElementText().toDouble());
        } else if (name == "text" && cls == "last-text") {
            chart.lastPrice = xml.readElementText().toStdString();
        } else if (name == "rect" && cls == "band") {
            chart.bandX = xml.attributes().value("x").toDouble();
        }
    }
    if (xml.hasError()) {
        chart.error = xml.errorString().toStdString();
    }
    return chart;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Class and title of every mark, in order.
Pairs Marks(const ReadChart& chart) {
    Pairs marks;
    for (const ReadChart::Bar& bar : chart.bars)
        marks.emplace_back(bar.cls, bar.title);
    return marks;
}

TEST(SvgChartTest, CandlesOverAWeekendFromKnownRows) {
    // Five-minute bars as a streaming plug-in hands them over: four rows per
    // history bar (open, high, low, close; the volume on the close), then
    // single trades. Friday afternoon, then Monday morning.
    const std::vector<TestRow> rows = {
        {"2011-08-05T15:50:00", {10.0, 0.0}},          {"2011-08-05T15:50:00", {10.5, 0.0}},
        {"2011-08-05T15:50:00", {9.5, 0.0}},           {"2011-08-05T15:50:00", {10.2, 300.0}},
        {"2011-08-05T15:55:00", {10.2, 0.0}},          {"2011-08-05T15:55:00", {10.4, 0.0}},
        {"2011-08-05T15:55:00", {9.9, 0.0}},           {"2011-08-05T15:55:00", {10.0, 200.0}},
        {"2011-08-08T09:30:00", {10.1, 0.0}},          {"2011-08-08T09:30:00", {10.3, 0.0}},
        {"2011-08-08T09:30:00", {10.1, 0.0}},          {"2011-08-08T09:30:00", {10.2, 400.0}},
        {"2011-08-08T09:31:10", {10.6, 50.0}, false},  {"2011-08-08T09:36:00", {10.4, 20.0}, false},
        {"2011-08-08T09:37:00", {10.35, 30.0}, false},
    };
    const CSeries series = MakeSeries("S&P", -5.0f, "Date/Time,Close,Volume", rows);
    const ReadChart chart = Read(SeriesChart(series, BuildBars(series)));
    ASSERT_EQ(chart.error, "");
    EXPECT_EQ(chart.title, "S&P 5-minute bars (interval -5): 15 rows");

    const Pairs expected = {
        {"candle up history", "2011-08-05 15:50:00 O 10 H 10.5 L 9.5 C 10.2 V 300"},
        {"candle down history", "2011-08-05 15:55:00 O 10.2 H 10.4 L 9.9 C 10 V 200"},
        {"candle up history streamed", "2011-08-08 09:30:00 O 10.1 H 10.6 L 10.1 C 10.6 V 450"},
        {"candle down streamed", "2011-08-08 09:35:00 O 10.4 H 10.4 L 10.35 C 10.35 V 50"},
    };
    ASSERT_EQ(Marks(chart), expected);

    // The weekend takes hardly more room than a bar, and is marked.
    const double barStep = chart.bars[1].x - chart.bars[0].x;
    EXPECT_GT(barStep, 0.0);
    EXPECT_LE(chart.bars[2].x - chart.bars[1].x, 3 * barStep);
    EXPECT_EQ(chart.breaks,
              std::vector<std::string>{"no rows from 2011-08-05 15:55:00 to 2011-08-08 09:30:00"});
    EXPECT_EQ(chart.timeLabels, (std::vector<std::string>{"Aug 5", "Aug 8"}));

    // Streaming began in Monday's first bar; the last trade is the last price.
    EXPECT_GT(chart.bandX, chart.bars[1].x);
    EXPECT_LT(chart.bandX, chart.bars[2].x);
    EXPECT_EQ(chart.lastPrice, "10.35");

    // Round steps through the range of 9.5 to 10.6, drawn bottom up.
    ASSERT_GE(chart.priceLabels.size(), 4u);
    const double step = chart.priceLabels[1] - chart.priceLabels[0];
    for (size_t i = 1; i < chart.priceLabels.size(); ++i) {
        EXPECT_NEAR(chart.priceLabels[i] - chart.priceLabels[i - 1], step, 1e-9);
    }
    EXPECT_LT(chart.priceLabels.front() - step, 9.5);
    EXPECT_GT(chart.priceLabels.back() + step, 10.6);
}

TEST(SvgChartTest, TicksStayTicks) {
    const CSeries series = MakeSeries("T", -0.0f, "Date/Time,TickPrice,TickVol,TickType",
                                      {{"2011-08-05T09:30:01", {10.1, 300.0, 4.0}},
                                       {"2011-08-05T09:30:01", {10.0, 100.0, 0.0}},
                                       {"2011-08-05T09:30:02", {10.05, 50.0, 0.0}, false},
                                       {nullptr, {10.0, 1.0, 0.0}, false}});
    const ReadChart chart = Read(SeriesChart(series, BuildBars(series)));
    ASSERT_EQ(chart.error, "");
    const Pairs expected = {
        {"tick quote history", "2011-08-05 09:30:01 quote 10.1 V 300"},
        {"tick trade history", "2011-08-05 09:30:01 trade 10 V 100"},
        {"tick trade streamed", "2011-08-05 09:30:02 trade 10.05 V 50"},
    };
    EXPECT_EQ(Marks(chart), expected);
    EXPECT_EQ(chart.lastPrice, "10.05");
}

// More bars or ticks than the plot has pixel columns are merged to one mark
// per column: a million five-minute bars used to give a 316 MB file. The
// highest high and lowest low of the whole series stay visible.
TEST(SvgChartTest, HugeSeriesDrawOneMarkPerPixelColumn) {
    struct Case {
        const char* name;
        float interval;
        size_t rows;
        int64_t step;    // seconds between rows
        int64_t perDay;  // rows per trading day before a night's gap; 0: none
        bool tickType;   // every third row a quote
    } cases[] = {
        {"5-minute bars", -5.0f, 1000000, 300, 78, false},
        {"1-minute bars just over the width", -1.0f, 900, 60, 0, false},
        {"daily bars", -1440.0f, 40000, 86400, 0, false},
        {"ticks", -0.0f, 300000, 1, 23400, true},
    };
    constexpr size_t kMaxBytes = 2'000'000;
    constexpr size_t kColumns = 868;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSeries series(SeriesKey::Of("BIG", c.interval), true);
        series.Announce("", c.tickType ? 4 : 3, "", 0.0);
        series.SetLabel(1, "Date/Time");
        series.SetLabel(2, c.tickType ? "TickPrice" : "Close");
        series.SetLabel(3, c.tickType ? "TickVol" : "Volume");
        if (c.tickType) {
            series.SetLabel(4, "TickType");
        }
        const double start = DayCount("1990-01-02T09:30:00");
        int64_t seconds = 0;
        for (size_t i = 0; i < c.rows; ++i) {
            const int64_t day = c.perDay > 0 ? static_cast<int64_t>(i) / c.perDay : 0;
            const int64_t within =
                c.perDay > 0 ? static_cast<int64_t>(i) % c.perDay : static_cast<int64_t>(i);
            seconds = day * 86400 + within * c.step;
            double price = 100.0 + static_cast<double>(i % 97) / 10.0;
            price = i == c.rows / 2 ? 1000.0 : (i == c.rows / 3 ? 1.0 : price);
            series.SetValue(1, start + static_cast<double>(seconds) / 86400.0);
            series.SetValue(2, price);
            series.SetValue(3, 10.0);
            if (c.tickType) {
                series.SetValue(4, i % 3 == 2 ? 1.0 : 0.0);
            }
            series.CommitRow(i + 1 < c.rows);
        }
        const std::string svg = SeriesChart(series, BuildBars(series));
        EXPECT_LT(svg.size(), kMaxBytes);
        const ReadChart chart = Read(svg);
        ASSERT_EQ(chart.error, "");
        ASSERT_FALSE(chart.bars.empty());
        EXPECT_LE(chart.bars.size(), kColumns);
        EXPECT_LE(chart.breaks.size(), kColumns / 8);
        bool high = false;
        bool low = false;
        for (size_t i = 0; i < chart.bars.size(); ++i) {
            high = high || chart.bars[i].title.find("H 1000 ") != std::string::npos;
            low = low || chart.bars[i].title.find("L 1 ") != std::string::npos;
            if (i > 0) {
                EXPECT_GT(chart.bars[i].x, chart.bars[i - 1].x);
            }
        }
        EXPECT_TRUE(high);
        EXPECT_TRUE(low);
        // The last mark reaches the last row, which was streamed.
        const std::string& last = chart.bars.back().title;
        EXPECT_NE(last.find(FormatSeconds(BuildBars(series).bars.back().time)), std::string::npos)
            << last;
        EXPECT_NE(chart.bars.back().cls.find("streamed"), std::string::npos);
        EXPECT_GT(chart.bandX, 0.0);
    }
}

}  // namespace
}  // namespace nsthost
