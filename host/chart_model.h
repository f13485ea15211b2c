// What a chart of a series shows, worked out from the rows alone: bars of the
// series' own interval, a time axis on trading time (gaps without rows
// collapsed), labelled time and price ticks. Pure functions, no I/O; the SVG
// writer only draws what these return.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/series.h"

namespace nsthost {

// How a series' interval groups time into bars.
enum class PeriodKind {
    kTicks,    // interval 0: every row stays a mark of its own
    kSeconds,  // intraday bars (and any interval without a calendar meaning)
    kDay,      // 1440
    kWeek,     // 10080, weeks from Monday
    kMonth,    // 43200 and 302400
};

struct BarPeriod {
    PeriodKind kind = PeriodKind::kTicks;
    int64_t seconds = 0;  // length of a kSeconds period, at least 1

    // The period of a bar interval in minutes; the sign is ignored, so a
    // series key serves as well as the requested interval.
    static BarPeriod OfInterval(float interval);
    // Start of the period that holds t (seconds of SecondsFromDayCount); t
    // itself for ticks.
    int64_t Start(int64_t t) const;
    // "ticks", "5-minute bars", "daily bars", ...
    std::string Name() const;
    // The series as traders name it: "ticks", "5-minute", "30-second",
    // "daily", "weekly", "monthly".
    std::string TraderName() const;
};

// Column numbers (from 1; 0 = none) that a chart reads. A series with Open,
// High, Low and Close columns carries whole bars per row; otherwise every row
// is one price (Close, else TickPrice, else column 2).
struct ChartColumns {
    int price = 2;
    int open = 0;
    int high = 0;
    int low = 0;
    int close = 0;
    int volume = 0;    // Volume, else TickVol
    int tickType = 0;  // TickType: a row whose type is not 0 is a quote

    static ChartColumns Of(const CSeries& series);
};

// One bar, or one tick of a tick series.
struct ChartBar {
    int64_t time = 0;  // start of the bar's period; the row's own time for a tick
    double open;       // NaN when no row of the bar had a price
    double high;
    double low;
    double close;
    double volume;  // sum over the rows; NaN when no row had one
    uint32_t historyRows = 0;
    uint32_t streamedRows = 0;
    // Rows of a gap fill: history rows committed after streaming began, and
    // streamed rows of a fill's burst (CSeries::RowView::filled).
    uint32_t filledRows = 0;
    bool quote = false;  // a tick row whose TickType is not 0
};

struct ChartData {
    BarPeriod period;
    std::vector<ChartBar> bars;  // in time order
    uint64_t undatedRows = 0;    // rows without a usable date: not drawn
    uint64_t filledRows = 0;     // the bars' filledRows, summed
};

// Builds the bars from the stored rows, in time order (rows of equal time in
// the order they were committed). A bar's open is its first price, its high
// and low the extremes of every price (and of the High and Low columns), its
// close the last price, its volume the sum of the volumes.
ChartData BuildBars(const CSeries& series);

// The last price (the close of the last bar or trade) and the close before
// the last bar's day for intraday bars and ticks, or of the bar before for
// daily and longer bars; NaN where there is none.
struct LastChange {
    double last;
    double previous;
};
LastChange LastAndPreviousClose(const ChartData& data);

// Seconds between two bars above which the gap is collapsed into a marked
// break: nights and weekends of intraday bars and ticks, unusually long
// pauses of daily and longer bars (a weekend between two daily bars is not
// one: each bar takes one slot anyway).
int64_t BreakGapSeconds(const BarPeriod& period);

// Trading-time axis: every bar takes one slot, a break takes kBreakSlots more.
inline constexpr double kBreakSlots = 1.5;
struct TimeAxis {
    std::vector<double> slot;    // left edge of each bar's slot, in slots
    std::vector<size_t> breaks;  // bars that follow a collapsed gap
    double span = 0.0;           // slots in all
};
TimeAxis TradingTimeAxis(const std::vector<ChartBar>& bars, const BarPeriod& period);

// Bars merged so that no two fall in one pixel column, for a plot `columns`
// pixels wide where bar i begins at axis.slot[i] * pixelsPerSlot. A merged
// bar keeps the time and open of its first bar, the close of its last, the
// extremes of high and low, and sums volumes and row counts; in a tick
// series a column with trades shows its trades only. Linear in the bars.
struct ColumnBars {
    std::vector<ChartBar> bars;
    std::vector<double> column;    // each merged bar's pixel column, from 0
    std::vector<int64_t> last;     // time of the last bar merged into each
    std::vector<uint32_t> merged;  // how many bars each holds
    // Times of the first and the last bar with gap-filled rows merged into
    // each (0 when none has any).
    std::vector<int64_t> firstFilled;
    std::vector<int64_t> lastFilled;
};
ColumnBars MergeIntoColumns(const std::vector<ChartBar>& bars, const TimeAxis& axis,
                            double pixelsPerSlot, int columns);

// A labelled tick of the time axis, at the left edge of bar `bar`. Major
// labels mark a new day (intraday) or a new year (daily and longer).
struct TimeLabel {
    size_t bar = 0;
    std::string text;
    bool major = false;
};
// Chooses the finest round step (1, 5, 15, 30 minutes, 1, 2, 4 hours, days,
// weeks, months, quarters, years) at least as long as the bar period whose
// boundaries fit at minSpacing apart, and labels the bars where the step's
// boundary is crossed; x holds the bars' positions in pixels. The first bar
// is labelled too (with its date), and a label closer than minSpacing to the
// one before is dropped.
std::vector<TimeLabel> TimeLabels(const std::vector<ChartBar>& bars, const std::vector<double>& x,
                                  const BarPeriod& period, double minSpacing);

// Round steps for a value axis: multiples of 1, 2, 2.5 or 5 times a power of
// ten, at most maxTicks of them between low and high (both included when on
// a step). *step receives the step; empty when the range is not finite.
std::vector<double> NiceTicks(double low, double high, int maxTicks, double* step);

// A tick value with as many decimals as its step needs.
std::string TickText(double value, double step);

}  // namespace nsthost
