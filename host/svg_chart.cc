#include "host/svg_chart.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "host/day_count.h"
#include "host/summary.h"

namespace nsthost {
namespace {

constexpr double kWidth = 960;
constexpr double kHeight = 560;
constexpr double kLeft = 80;
constexpr double kRight = 20;
constexpr double kPriceTop = 60;
constexpr double kPriceBottom = 390;
constexpr double kVolumeTop = 410;
constexpr double kVolumeBottom = 520;

// Which cells of a row the picture uses (column numbers from 1; 0 = none).
struct Layout {
    int price = 2;
    int volume = 0;
    int high = 0;
    int low = 0;
};

Layout LayoutOf(const CSeries& series) {
    Layout layout;
    // Streaming layouts name their price "Close" or "TickPrice"; the history
    // layout carries the host's own column names.
    if (int c = series.FindColumn("Close"); c > 0) {
        layout.price = c;
    } else if (int t = series.FindColumn("TickPrice"); t > 0) {
        layout.price = t;
    }
    if (int v = series.FindColumn("Volume"); v > 0) {
        layout.volume = v;
    } else if (int tv = series.FindColumn("TickVol"); tv > 0) {
        layout.volume = tv;
    }
    layout.high = series.FindColumn("High");
    layout.low = series.FindColumn("Low");
    if (layout.high == 0 || layout.low == 0) {
        layout.high = layout.low = 0;
    }
    return layout;
}

double Cell(const CSeries::RowView& row, int column) {
    if (column < 1 || static_cast<size_t>(column) > row.cells.size()) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return row.cells[column - 1];
}

void AppendEscaped(std::string_view text, std::string* out) {
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '&':
                out->append("&amp;");
                break;
            case '<':
                out->append("&lt;");
                break;
            case '>':
                out->append("&gt;");
                break;
            case '"':
                out->append("&quot;");
                break;
            default:
                if (c >= 0x80) {
                    char ref[16];
                    std::snprintf(ref, sizeof ref, "&#x%X;", c);
                    out->append(ref);
                } else if (c < 0x20 && c != '\t') {
                    out->push_back('?');  // not allowed in XML 1.0, not even as a reference
                } else {
                    out->push_back(static_cast<char>(c));
                }
        }
    }
}

std::string Num(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

struct Range {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();

    void Add(double v) {
        if (std::isfinite(v)) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    }
    bool Valid() const { return low <= high; }
    // Maps v into [to0, to1]; a range of one value maps to the middle.
    double Map(double v, double to0, double to1) const {
        if (!Valid() || high == low) {
            return (to0 + to1) / 2;
        }
        return to0 + (v - low) / (high - low) * (to1 - to0);
    }
};

}  // namespace

std::string SeriesChart(const CSeries& series) {
    const Layout layout = LayoutOf(series);
    const size_t rows = series.StoredRows();
    Range dates, prices, volumes;
    for (size_t i = 0; i < rows; ++i) {
        const CSeries::RowView row = series.Row(i);
        dates.Add(Cell(row, 1));
        prices.Add(Cell(row, layout.price));
        prices.Add(Cell(row, layout.high));
        prices.Add(Cell(row, layout.low));
        volumes.Add(Cell(row, layout.volume));
    }
    volumes.Add(0.0);
    const bool byDate = dates.Valid() && dates.high > dates.low;
    const double plotWidth = kWidth - kLeft - kRight;
    const double slot = rows > 0 ? plotWidth / static_cast<double>(rows) : plotWidth;
    const double barWidth = std::clamp(slot * 0.6, 0.5, 8.0);

    std::string title;
    AppendEscaped(series.Key().symbol, &title);
    title += " interval " + IntervalText(series.Key().Interval()) + ": " +
             std::to_string(series.RowCount()) + " rows";

    std::string svg;
    svg.reserve(512 + rows * 160);
    svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(kWidth) + "\" height=\"" +
           Num(kHeight) + "\" viewBox=\"0 0 " + Num(kWidth) + " " + Num(kHeight) + "\">\n";
    svg += "<title>" + title + "</title>\n";
    svg +=
        "<style>text{font-family:sans-serif;font-size:12px;fill:#222}"
        ".history{fill:#1f77b4;stroke:#1f77b4}.streamed{fill:#d62728;stroke:#d62728}"
        ".volume{opacity:0.6}.missing{opacity:0.3}.frame{fill:none;stroke:#999}</style>\n";
    svg += "<rect x=\"0\" y=\"0\" width=\"" + Num(kWidth) + "\" height=\"" + Num(kHeight) +
           "\" fill=\"#fff\"/>\n";
    svg +=
        "<text x=\"" + Num(kLeft) + "\" y=\"24\" style=\"font-size:16px\">" + title + "</text>\n";
    svg += "<text x=\"" + Num(kLeft) + "\" y=\"44\">history " +
           std::to_string(series.HistoryRowCount()) + " (blue), streamed " +
           std::to_string(series.RowCount() - series.HistoryRowCount()) + " (red)</text>\n";
    svg += "<rect class=\"frame\" x=\"" + Num(kLeft) + "\" y=\"" + Num(kPriceTop) + "\" width=\"" +
           Num(plotWidth) + "\" height=\"" + Num(kPriceBottom - kPriceTop) + "\"/>\n";
    svg += "<rect class=\"frame\" x=\"" + Num(kLeft) + "\" y=\"" + Num(kVolumeTop) + "\" width=\"" +
           Num(plotWidth) + "\" height=\"" + Num(kVolumeBottom - kVolumeTop) + "\"/>\n";
    if (prices.Valid()) {
        svg += "<text x=\"4\" y=\"" + Num(kPriceTop + 12) + "\">" + Num(prices.high) +
               "</text>\n<text x=\"4\" y=\"" + Num(kPriceBottom) + "\">" + Num(prices.low) +
               "</text>\n";
    }
    if (byDate) {
        svg += "<text x=\"" + Num(kLeft) + "\" y=\"" + Num(kVolumeBottom + 18) + "\">" +
               FormatDayCount(dates.low) + "</text>\n<text x=\"" + Num(kWidth - kRight) +
               "\" y=\"" + Num(kVolumeBottom + 18) + "\" text-anchor=\"end\">" +
               FormatDayCount(dates.high) + "</text>\n";
    }
    if (!series.KeepsRows()) {
        svg += "<text x=\"" + Num(kLeft + 10) + "\" y=\"" + Num(kPriceTop + 24) +
               "\">rows not kept (counts only)</text>\n";
    }

    for (size_t i = 0; i < rows; ++i) {
        const CSeries::RowView row = series.Row(i);
        const char* kind = row.history ? "history" : "streamed";
        const double date = Cell(row, 1);
        const double x = byDate && std::isfinite(date)
                             ? dates.Map(date, kLeft + barWidth, kWidth - kRight - barWidth)
                             : kLeft + slot * (static_cast<double>(i) + 0.5);
        const double price = Cell(row, layout.price);
        const bool known = std::isfinite(price);
        const double y = known ? prices.Map(price, kPriceBottom, kPriceTop) : kPriceBottom;
        const std::string cls = std::string(kind) + (known ? "" : " missing");
        if (layout.high > 0) {
            double high = Cell(row, layout.high);
            double low = Cell(row, layout.low);
            high = std::isfinite(high) ? prices.Map(high, kPriceBottom, kPriceTop) : y;
            low = std::isfinite(low) ? prices.Map(low, kPriceBottom, kPriceTop) : y;
            const double top = std::min({high, low, y});
            const double bottom = std::max({high, low, y});
            svg += "<rect class=\"price bar " + cls + "\" x=\"" + Num(x - barWidth / 2) +
                   "\" y=\"" + Num(top) + "\" width=\"" + Num(barWidth) + "\" height=\"" +
                   Num(std::max(bottom - top, 1.0)) + "\"/>\n";
        } else {
            svg += "<circle class=\"price tick " + cls + "\" cx=\"" + Num(x) + "\" cy=\"" + Num(y) +
                   "\" r=\"" + Num(std::max(barWidth / 2, 1.0)) + "\"/>\n";
        }
        const double volume = Cell(row, layout.volume);
        if (layout.volume > 0 && std::isfinite(volume)) {
            const double top = volumes.Map(volume, kVolumeBottom, kVolumeTop);
            const double base = volumes.Map(0.0, kVolumeBottom, kVolumeTop);
            svg += "<rect class=\"volume " + std::string(kind) + "\" x=\"" + Num(x - barWidth / 2) +
                   "\" y=\"" + Num(std::min(top, base)) + "\" width=\"" + Num(barWidth) +
                   "\" height=\"" + Num(std::max(std::fabs(base - top), 0.5)) + "\"/>\n";
        }
    }
    svg += "</svg>\n";
    return svg;
}

std::string ChartFileName(const SeriesKey& key) {
    std::string name;
    for (char ch : key.symbol) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
        if (plain) {
            name.push_back(ch);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            name += hex;
        }
    }
    return name + "_" + IntervalText(key.Interval()) + ".svg";
}

bool WriteCharts(const CFeedStore& store, const std::string& dir, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        *error = "cannot create chart folder " + dir + ": " + ec.message();
        return false;
    }
    bool ok = true;
    store.ForEachSeries([&](const CSeries& series) {
        const std::filesystem::path path = std::filesystem::path(dir) / ChartFileName(series.Key());
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file << SeriesChart(series);
        if (!file) {
            *error = "cannot write chart " + path.string();
            ok = false;
        }
    });
    return ok;
}

}  // namespace nsthost
