#include "host/summary.h"

#include <cmath>
#include <cstdio>

#include "host/day_count.h"
#include "host/json_line.h"

namespace nsthost {
namespace {

void AppendSeries(const CSeries& series, std::string* out) {
    *out += "series " + series.Key().symbol + " " + IntervalText(series.Key().Interval()) + ": ";
    if (series.Announced()) {
        *out += std::to_string(series.Columns()) + " columns (";
        for (size_t i = 0; i < series.Labels().size(); ++i) {
            *out += (i > 0 ? "," : "") + series.Labels()[i];
        }
        *out += ")";
        if (series.Announcements() > 1) {
            *out += ", announced " + std::to_string(series.Announcements()) + " times";
        }
    } else {
        *out += "never announced";
    }
    const uint64_t rows = series.RowCount();
    *out += ", " + std::to_string(rows) + " rows (" + std::to_string(series.HistoryRowCount()) +
            " history, " + std::to_string(rows - series.HistoryRowCount()) + " streamed)";
    if (series.RejectedCalls() > 0) {
        *out += ", " + std::to_string(series.RejectedCalls()) + " calls with a bad column";
    }
    *out += "\n";
    if (rows > 0) {
        *out += "  first " + FormatDayCount(series.FirstDate()) + ", last " +
                FormatDayCount(series.LastDate()) + "\n  last values:";
        const auto& last = series.LastValues();
        for (size_t i = 0; i < last.size(); ++i) {
            *out += " " + (i == 0 ? FormatDayCount(last[i]) : ValueText(last[i]));
        }
        *out += "\n";
    }
}

}  // namespace

std::string ValueText(double value) {
    if (std::isnan(value)) {
        return "-";
    }
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::string IntervalText(float interval) {
    std::string text;
    AppendJsonFloat(interval, &text);
    if (!text.empty() && text.front() == '"') {
        text = text.substr(1, text.size() - 2);
    }
    return text;
}

std::string SummaryText(const CFeedStore& store) {
    std::string out;
    store.ForEachSeries([&out](const CSeries& series) { AppendSeries(series, &out); });
    if (store.SeriesCount() == 0) {
        out += "no series\n";
    }
    out += "progress: " + std::to_string(store.PercentUpdates()) + " updates";
    if (store.LastPercent() >= 0) {
        out += ", last " + std::to_string(store.LastPercent()) + "%";
    }
    out += "\ncredentials: required " + std::to_string(store.RequireCount()) + " times, asked " +
           std::to_string(store.GetCredentialsCount()) + " times\n";
    return out;
}

}  // namespace nsthost
