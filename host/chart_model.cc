#include "host/chart_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>

#include "host/day_count.h"

namespace nsthost {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int64_t kDaySeconds = 86400;
constexpr int64_t kHourSeconds = 3600;
// Day count 2 (1 January 1900) was a Monday; weeks start on Mondays.
constexpr int64_t kFirstMonday = 2;

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int64_t FloorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int64_t MonthIndex(int64_t t) {
    const CivilTime c = CivilFromSeconds(t);
    return static_cast<int64_t>(c.year) * 12 + (c.month - 1);
}

double Cell(const CSeries::RowView& row, int column) {
    if (column < 1 || static_cast<size_t>(column) > row.cells.size()) {
        return kNaN;
    }
    return row.cells[column - 1];
}

// NaN-aware extremes: a NaN side loses.
double Higher(double a, double b) {
    return std::isnan(a) ? b : (std::isnan(b) ? a : std::max(a, b));
}
double Lower(double a, double b) {
    return std::isnan(a) ? b : (std::isnan(b) ? a : std::min(a, b));
}

// Adds one row's values to a bar; filled: a row of a gap fill (a history
// row that came after streamed ones, or a streamed row of a fill's burst).
void AddRow(const ChartColumns& columns, const CSeries::RowView& row, bool filled, ChartBar* bar) {
    double price = Cell(row, columns.price);
    price = std::isfinite(price) ? price : kNaN;
    double open = columns.open > 0 ? Cell(row, columns.open) : price;
    open = std::isfinite(open) ? open : price;
    double high = Higher(Higher(price, open), Cell(row, columns.high));
    double low = Lower(Lower(price, open), Cell(row, columns.low));
    high = std::isfinite(high) ? high : kNaN;
    low = std::isfinite(low) ? low : kNaN;
    if (std::isnan(bar->open)) {
        bar->open = open;
    }
    bar->high = Higher(bar->high, high);
    bar->low = Lower(bar->low, low);
    if (!std::isnan(price)) {
        bar->close = price;
    }
    const double volume = Cell(row, columns.volume);
    if (std::isfinite(volume)) {
        bar->volume = std::isnan(bar->volume) ? volume : bar->volume + volume;
    }
    ++(row.history ? bar->historyRows : bar->streamedRows);
    bar->filledRows += filled ? 1 : 0;
}

ChartBar EmptyBar(int64_t time) {
    ChartBar bar;
    bar.time = time;
    bar.open = bar.high = bar.low = bar.close = bar.volume = kNaN;
    return bar;
}

// A step of the time axis' labels.
struct LabelStep {
    PeriodKind kind;  // kSeconds, kDay, kWeek or kMonth
    int64_t count;    // seconds, days, weeks or months per step
};

constexpr LabelStep kLabelSteps[] = {
    {PeriodKind::kSeconds, 1},    {PeriodKind::kSeconds, 5},     {PeriodKind::kSeconds, 15},
    {PeriodKind::kSeconds, 30},   {PeriodKind::kSeconds, 60},    {PeriodKind::kSeconds, 300},
    {PeriodKind::kSeconds, 900},  {PeriodKind::kSeconds, 1800},  {PeriodKind::kSeconds, 3600},
    {PeriodKind::kSeconds, 7200}, {PeriodKind::kSeconds, 14400}, {PeriodKind::kDay, 1},
    {PeriodKind::kWeek, 1},       {PeriodKind::kMonth, 1},       {PeriodKind::kMonth, 3},
    {PeriodKind::kMonth, 6},      {PeriodKind::kMonth, 12},      {PeriodKind::kMonth, 24},
    {PeriodKind::kMonth, 60},     {PeriodKind::kMonth, 120},
};

// Rough length of a step or period, for comparing the two.
int64_t NominalSeconds(PeriodKind kind, int64_t count) {
    switch (kind) {
        case PeriodKind::kTicks:
            return 0;
        case PeriodKind::kSeconds:
            return count;
        case PeriodKind::kDay:
            return count * kDaySeconds;
        case PeriodKind::kWeek:
            return count * 7 * kDaySeconds;
        case PeriodKind::kMonth:
            return count * 28 * kDaySeconds;
    }
    return 0;
}

int64_t StepIndex(const LabelStep& step, int64_t t) {
    switch (step.kind) {
        case PeriodKind::kSeconds:
            return FloorDiv(t, step.count);
        case PeriodKind::kDay:
            return FloorDiv(t, step.count * kDaySeconds);
        case PeriodKind::kWeek:
            return FloorDiv(FloorDiv(t, kDaySeconds) - kFirstMonday, 7);
        case PeriodKind::kMonth:
            return FloorDiv(MonthIndex(t), step.count);
        case PeriodKind::kTicks:
            break;
    }
    return t;
}

std::string DayText(const CivilTime& c) {
    return std::string(kMonths[c.month - 1]) + " " + std::to_string(c.day);
}

// The label of a bar at time t; first: the first bar of the chart.
TimeLabel LabelAt(size_t bar, int64_t t, int64_t previous, bool first, const LabelStep& step) {
    const CivilTime c = CivilFromSeconds(t);
    const CivilTime p = CivilFromSeconds(previous);
    TimeLabel label;
    label.bar = bar;
    char text[32];
    if (step.kind == PeriodKind::kSeconds) {
        label.major = first || FloorDiv(t, kDaySeconds) != FloorDiv(previous, kDaySeconds);
        if (label.major) {
            label.text = DayText(c);
        } else {
            // The round time of the boundary, also when the bar that would
            // start there is missing.
            const CivilTime r = CivilFromSeconds(FloorDiv(t, step.count) * step.count);
            if (step.count < 60) {
                std::snprintf(text, sizeof text, "%02d:%02d:%02d", r.hour, r.minute, r.second);
            } else {
                std::snprintf(text, sizeof text, "%02d:%02d", r.hour, r.minute);
            }
            label.text = text;
        }
        return label;
    }
    const bool newYear = !first && c.year != p.year;
    label.major = first || newYear;
    if (step.kind == PeriodKind::kMonth && step.count >= 12) {
        label.text = std::to_string(c.year);
    } else if (step.kind == PeriodKind::kMonth) {
        label.text = newYear ? std::to_string(c.year)
                             : std::string(kMonths[c.month - 1]) +
                                   (first ? " " + std::to_string(c.year) : "");
    } else {
        label.text = newYear ? std::to_string(c.year) : DayText(c);
    }
    return label;
}

}  // namespace

BarPeriod BarPeriod::OfInterval(float interval) {
    const double minutes = std::fabs(static_cast<double>(interval));
    BarPeriod period;
    if (!(minutes > 0.0) || !std::isfinite(minutes)) {
        return period;
    }
    if (minutes == 1440.0) {
        period.kind = PeriodKind::kDay;
    } else if (minutes == 10080.0) {
        period.kind = PeriodKind::kWeek;
    } else if (minutes == 43200.0 || minutes == 302400.0) {
        period.kind = PeriodKind::kMonth;
    } else {
        period.kind = PeriodKind::kSeconds;
        period.seconds = std::max<int64_t>(1, std::llround(minutes * 60.0));
    }
    return period;
}

int64_t BarPeriod::Start(int64_t t) const {
    switch (kind) {
        case PeriodKind::kTicks:
            return t;
        case PeriodKind::kSeconds:
            return FloorDiv(t, seconds) * seconds;
        case PeriodKind::kDay:
            return FloorDiv(t, kDaySeconds) * kDaySeconds;
        case PeriodKind::kWeek: {
            const int64_t day = FloorDiv(t, kDaySeconds);
            return (day - (((day - kFirstMonday) % 7) + 7) % 7) * kDaySeconds;
        }
        case PeriodKind::kMonth: {
            const CivilTime c = CivilFromSeconds(t);
            return std::llround(DayCountFromParts(c.year, c.month, 1, 0, 0, 0)) * kDaySeconds;
        }
    }
    return t;
}

std::string BarPeriod::Name() const {
    return kind == PeriodKind::kTicks ? TraderName() : TraderName() + " bars";
}

std::string BarPeriod::TraderName() const {
    switch (kind) {
        case PeriodKind::kTicks:
            return "ticks";
        case PeriodKind::kSeconds:
            if (seconds % 60 == 0) {
                return std::to_string(seconds / 60) + "-minute";
            }
            return std::to_string(seconds) + "-second";
        case PeriodKind::kDay:
            return "daily";
        case PeriodKind::kWeek:
            return "weekly";
        case PeriodKind::kMonth:
            return "monthly";
    }
    return "bars";
}

ChartColumns ChartColumns::Of(const CSeries& series) {
    ChartColumns columns;
    // Streaming layouts name their price "Close" or "TickPrice"; the history
    // layout carries the host's own column names.
    if (const int close = series.FindColumn("Close"); close > 0) {
        columns.price = close;
    } else if (const int tick = series.FindColumn("TickPrice"); tick > 0) {
        columns.price = tick;
    }
    columns.open = series.FindColumn("Open");
    columns.high = series.FindColumn("High");
    columns.low = series.FindColumn("Low");
    columns.close = series.FindColumn("Close");
    if (const int volume = series.FindColumn("Volume"); volume > 0) {
        columns.volume = volume;
    } else {
        columns.volume = series.FindColumn("TickVol");
    }
    columns.tickType = series.FindColumn("TickType");
    return columns;
}

ChartData BuildBars(const CSeries& series) {
    ChartData data;
    data.period = BarPeriod::OfInterval(series.Key().Interval());
    const ChartColumns columns = ChartColumns::Of(series);
    const size_t rows = series.StoredRows();

    struct Dated {
        int64_t time;
        size_t row;
    };
    std::vector<Dated> dated;
    dated.reserve(rows);
    size_t firstStreamed = rows;
    for (size_t i = 0; i < rows; ++i) {
        if (firstStreamed == rows && !series.Row(i).history) {
            firstStreamed = i;
        }
        int64_t t = 0;
        if (SecondsFromDayCount(Cell(series.Row(i), 1), &t)) {
            dated.push_back({t, i});
        } else {
            ++data.undatedRows;
        }
    }
    // Plug-ins hand rows over in time order; a late row still lands in its bar.
    std::stable_sort(dated.begin(), dated.end(),
                     [](const Dated& a, const Dated& b) { return a.time < b.time; });

    const bool ticks = data.period.kind == PeriodKind::kTicks;
    // Counted first, so that a million bars are not moved on every growth.
    size_t count = 0;
    for (size_t i = 0; i < dated.size(); ++i) {
        count += ticks || i == 0 ||
                 data.period.Start(dated[i].time) != data.period.Start(dated[i - 1].time);
    }
    data.bars.reserve(count);
    for (const Dated& d : dated) {
        const CSeries::RowView row = series.Row(d.row);
        const int64_t start = data.period.Start(d.time);
        if (ticks || data.bars.empty() || data.bars.back().time != start) {
            data.bars.push_back(EmptyBar(start));
        }
        ChartBar& bar = data.bars.back();
        const bool filled = row.filled || (row.history && d.row > firstStreamed);
        AddRow(columns, row, filled, &bar);
        data.filledRows += filled ? 1 : 0;
        if (ticks) {
            const double type = Cell(row, columns.tickType);
            bar.quote = std::isfinite(type) && type != 0.0;
        }
    }
    return data;
}

LastChange LastAndPreviousClose(const ChartData& data) {
    LastChange change{kNaN, kNaN};
    const std::vector<ChartBar>& bars = data.bars;
    auto priced = [](const ChartBar& bar) { return !bar.quote && std::isfinite(bar.close); };
    size_t i = bars.size();
    while (i > 0 && !priced(bars[i - 1])) {
        --i;
    }
    if (i == 0) {
        return change;
    }
    change.last = bars[i - 1].close;
    const bool byDay =
        data.period.kind == PeriodKind::kTicks || data.period.kind == PeriodKind::kSeconds;
    const int64_t lastDay = FloorDiv(bars[i - 1].time, kDaySeconds);
    for (--i; i > 0; --i) {
        const ChartBar& bar = bars[i - 1];
        if (priced(bar) && (!byDay || FloorDiv(bar.time, kDaySeconds) < lastDay)) {
            change.previous = bar.close;
            break;
        }
    }
    return change;
}

int64_t BreakGapSeconds(const BarPeriod& period) {
    switch (period.kind) {
        case PeriodKind::kTicks:
            return kHourSeconds;
        case PeriodKind::kSeconds:
            return std::max<int64_t>(4 * period.seconds, kHourSeconds);
        case PeriodKind::kDay:
            return 4 * kDaySeconds;
        case PeriodKind::kWeek:
            return 14 * kDaySeconds;
        case PeriodKind::kMonth:
            return 62 * kDaySeconds;
    }
    return kHourSeconds;
}

TimeAxis TradingTimeAxis(const std::vector<ChartBar>& bars, const BarPeriod& period) {
    TimeAxis axis;
    axis.slot.reserve(bars.size());
    const int64_t gap = BreakGapSeconds(period);
    double at = 0.0;
    for (size_t i = 0; i < bars.size(); ++i) {
        if (i > 0 && bars[i].time - bars[i - 1].time > gap) {
            axis.breaks.push_back(i);
            at += kBreakSlots;
        }
        axis.slot.push_back(at);
        at += 1.0;
    }
    axis.span = at;
    return axis;
}

ColumnBars MergeIntoColumns(const std::vector<ChartBar>& bars, const TimeAxis& axis,
                            double pixelsPerSlot, int columns) {
    ColumnBars out;
    const double lastColumn = std::max(columns - 1, 0);
    for (size_t i = 0; i < bars.size() && i < axis.slot.size(); ++i) {
        const ChartBar& bar = bars[i];
        const double column = std::clamp(std::floor(axis.slot[i] * pixelsPerSlot), 0.0, lastColumn);
        if (out.bars.empty() || out.column.back() != column) {
            out.bars.push_back(bar);
            out.column.push_back(column);
            out.last.push_back(bar.time);
            out.merged.push_back(1);
            out.firstFilled.push_back(bar.filledRows > 0 ? bar.time : 0);
            out.lastFilled.push_back(out.firstFilled.back());
            continue;
        }
        ChartBar& into = out.bars.back();
        out.last.back() = bar.time;
        ++out.merged.back();
        if (bar.filledRows > 0) {
            out.firstFilled.back() = into.filledRows > 0 ? out.firstFilled.back() : bar.time;
            out.lastFilled.back() = bar.time;
        }
        into.historyRows += bar.historyRows;
        into.streamedRows += bar.streamedRows;
        into.filledRows += bar.filledRows;
        if (bar.quote && !into.quote) {
            continue;  // trades outrank the quotes between them
        }
        if (into.quote && !bar.quote) {
            const uint32_t history = into.historyRows;
            const uint32_t streamed = into.streamedRows;
            const uint32_t filled = into.filledRows;
            const int64_t time = into.time;
            into = bar;
            into.time = time;
            into.historyRows = history;
            into.streamedRows = streamed;
            into.filledRows = filled;
            continue;
        }
        if (std::isnan(into.open)) {
            into.open = bar.open;
        }
        into.high = Higher(into.high, bar.high);
        into.low = Lower(into.low, bar.low);
        if (!std::isnan(bar.close)) {
            into.close = bar.close;
        }
        if (!std::isnan(bar.volume)) {
            into.volume = std::isnan(into.volume) ? bar.volume : into.volume + bar.volume;
        }
    }
    return out;
}

std::vector<TimeLabel> TimeLabels(const std::vector<ChartBar>& bars, const std::vector<double>& x,
                                  const BarPeriod& period, double minSpacing) {
    std::vector<TimeLabel> labels;
    if (bars.empty() || x.size() != bars.size()) {
        return labels;
    }
    const double width = x.back() - x.front();
    const auto room = static_cast<size_t>(std::max(1.0, std::floor(width / minSpacing)));
    const int64_t periodLength =
        NominalSeconds(period.kind, period.kind == PeriodKind::kSeconds ? period.seconds : 1);

    // The coarsest step serves when no finer one fits (or none is as long as
    // an odd, very long bar period).
    const LabelStep* chosen = &kLabelSteps[std::size(kLabelSteps) - 1];
    for (const LabelStep& step : kLabelSteps) {
        if (NominalSeconds(step.kind, step.count) < periodLength) {
            continue;
        }
        chosen = &step;
        size_t crossings = 0;
        for (size_t i = 1; i < bars.size() && crossings <= room; ++i) {
            crossings += StepIndex(step, bars[i].time) != StepIndex(step, bars[i - 1].time);
        }
        if (crossings <= room) {
            break;
        }
    }

    labels.push_back(LabelAt(0, bars[0].time, bars[0].time, true, *chosen));
    for (size_t i = 1; i < bars.size(); ++i) {
        if (StepIndex(*chosen, bars[i].time) == StepIndex(*chosen, bars[i - 1].time)) {
            continue;
        }
        TimeLabel label = LabelAt(i, bars[i].time, bars[i - 1].time, false, *chosen);
        if (x[i] - x[labels.back().bar] >= minSpacing) {
            labels.push_back(std::move(label));
            continue;
        }
        // Too close to the label before: a new day outranks an hour, and a
        // new year the start of the chart.
        const bool outranks = label.major && (labels.size() == 1 || !labels.back().major);
        if (outranks &&
            (labels.size() == 1 || x[i] - x[labels[labels.size() - 2].bar] >= minSpacing)) {
            labels.back() = std::move(label);
        }
    }
    return labels;
}

std::vector<double> NiceTicks(double low, double high, int maxTicks, double* step) {
    std::vector<double> ticks;
    if (!std::isfinite(low) || !std::isfinite(high) || high < low || maxTicks < 1) {
        return ticks;
    }
    const double span = high > low ? high - low : std::max(std::fabs(low) * 0.02, 1e-6);
    const double raw = span / maxTicks;
    double chosen = 0.0;
    for (double power = std::pow(10.0, std::floor(std::log10(raw))); chosen == 0.0; power *= 10) {
        for (const double mantissa : {1.0, 2.0, 2.5, 5.0}) {
            const double candidate = mantissa * power;
            const double first = std::ceil(low / candidate - 1e-9);
            const double last = std::floor(high / candidate + 1e-9);
            if (last - first + 1 <= maxTicks) {
                chosen = candidate;
                break;
            }
        }
    }
    const auto first = static_cast<int64_t>(std::ceil(low / chosen - 1e-9));
    const auto last = static_cast<int64_t>(std::floor(high / chosen + 1e-9));
    for (int64_t i = first; i <= last; ++i) {
        ticks.push_back(static_cast<double>(i) * chosen);
    }
    *step = chosen;
    return ticks;
}

std::string TickText(double value, double step) {
    int decimals = 0;
    for (double scaled = step; decimals < 10; ++decimals, scaled *= 10) {
        if (std::fabs(scaled - std::round(scaled)) < 1e-6 * std::max(1.0, scaled)) {
            break;
        }
    }
    if (std::fabs(value) < step * 1e-9) {
        value = 0.0;  // no "-0"
    }
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace nsthost
