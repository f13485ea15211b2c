#include "host/svg_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "host/day_count.h"
#include "host/summary.h"

namespace nsthost {
namespace {

constexpr double kWidth = 960;
constexpr double kHeight = 560;
constexpr double kLeft = 16;
constexpr double kPlotRight = 884;  // the price axis' labels sit right of it
constexpr double kPriceTop = 60;
constexpr double kPriceBottom = 392;
constexpr double kVolumeTop = 404;
constexpr double kVolumeBottom = 500;
constexpr double kTimeLabelY = 516;
constexpr double kLegendY = 544;
// Bars never grow wider than this, so a short series stays readable.
constexpr double kMaxSlot = 24;
// Below this many pixels per bar a candle's body cannot be told from its
// wick: OHLC bars then.
constexpr double kMinCandleSlot = 4;
constexpr double kMinLabelSpacing = 64;
// Merged columns would put a break line at every night: breaks closer than
// this to the one before are left out.
constexpr double kMinBreakSpacing = 8;
constexpr int kPriceTicks = 8;

std::string Num(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// "history", "streamed" or both, and "filled" for a gap fill's rows: which
// kinds of rows a bar was built from.
std::string RowKinds(const ChartBar& bar) {
    std::string kinds = bar.streamedRows == 0  ? "history"
                        : bar.historyRows == 0 ? "streamed"
                                               : "history streamed";
    return bar.filledRows > 0 ? kinds + " filled" : kinds;
}

// The last price beside the axis: up to four decimals, no trailing zeros.
std::string PriceText(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.4f", value);
    std::string out = text;
    while (out.back() == '0') {
        out.pop_back();
    }
    if (out.back() == '.') {
        out.pop_back();
    }
    return out;
}

std::string VolumeText(double value, double step) {
    if (step >= 1e6) {
        return TickText(value / 1e6, step / 1e6) + "M";
    }
    if (step >= 1e3) {
        return TickText(value / 1e3, step / 1e3) + "K";
    }
    return TickText(value, step);
}

struct Range {
    double low = INFINITY;
    double high = -INFINITY;

    void Add(double v) {
        if (std::isfinite(v)) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    }
    bool Valid() const { return low <= high; }
};

// Maps values of [low, high] onto pixel rows [bottom, top].
struct Scale {
    double low;
    double high;
    double bottom;
    double top;
    double operator()(double v) const {
        return high > low ? bottom + (v - low) / (high - low) * (top - bottom) : (bottom + top) / 2;
    }
};

class CChartWriter {
  public:
    CChartWriter(const CSeries& series, const ChartData& data) : m_series(series), m_data(data) {}

    std::string Write() {
        const std::vector<ChartBar>& bars = m_data.bars;
        m_axis = TradingTimeAxis(bars, m_data.period);
        const double plot = kPlotRight - kLeft;
        m_slot = std::min(kMaxSlot, plot / std::max(m_axis.span, 1.0));
        if (m_slot < 1.0) {
            // More bars than pixel columns: one mark per column.
            m_columns = MergeIntoColumns(bars, m_axis, m_slot, static_cast<int>(plot));
            m_bars = &m_columns.bars;
            m_width = 1.0;
            m_x.reserve(m_columns.column.size());
            for (const double column : m_columns.column) {
                m_x.push_back(kLeft + column);
            }
        } else {
            m_width = m_slot;
            m_x.reserve(bars.size());
            for (const double slot : m_axis.slot) {
                m_x.push_back(kLeft + slot * m_slot);
            }
        }
        m_svg.reserve(2048 + m_bars->size() * 320);
        for (const ChartBar& bar : bars) {
            m_prices.Add(bar.high);
            m_prices.Add(bar.low);
            m_volumes.Add(bar.quote ? 0.0 : bar.volume);
        }
        Header();
        StreamedBand();
        FilledBands();
        PriceGrid();
        VolumeGrid();
        TimeGrid();
        Breaks();
        if (m_data.period.kind == PeriodKind::kTicks) {
            Ticks();
        } else {
            Bars();
        }
        LastPrice();
        m_svg += "<rect class=\"frame\" x=\"" + Num(kLeft) + "\" y=\"" + Num(kPriceTop) +
                 "\" width=\"" + Num(kPlotRight - kLeft) + "\" height=\"" +
                 Num(kPriceBottom - kPriceTop) + "\"/>\n";
        m_svg += "<rect class=\"frame\" x=\"" + Num(kLeft) + "\" y=\"" + Num(kVolumeTop) +
                 "\" width=\"" + Num(kPlotRight - kLeft) + "\" height=\"" +
                 Num(kVolumeBottom - kVolumeTop) + "\"/>\n";
        m_svg += "</svg>\n";
        return std::move(m_svg);
    }

  private:
    bool Merged() const { return m_bars != &m_data.bars; }
    double Left(size_t mark) const { return m_x[mark]; }
    double Centre(size_t mark) const { return m_x[mark] + m_width / 2; }

    // When a mark holds several bars: " to <last> (<n> bars)".
    std::string MergedSpan(size_t mark, const char* unit) const {
        if (!Merged() || m_columns.merged[mark] < 2) {
            return {};
        }
        return " to " + FormatSeconds(m_columns.last[mark]) + " (" +
               std::to_string(m_columns.merged[mark]) + " " + unit + ")";
    }

    void Header() {
        const SeriesKey& key = m_series.Key();
        std::string name;
        AppendMarkupText(key.symbol, &name);
        name += " " + m_data.period.Name() + " (interval " + IntervalText(key.Interval()) + ")";
        const uint64_t rows = m_series.RowCount();
        const uint64_t history = m_series.HistoryRowCount();

        m_svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        m_svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(kWidth) +
                 "\" height=\"" + Num(kHeight) + "\" viewBox=\"0 0 " + Num(kWidth) + " " +
                 Num(kHeight) + "\">\n";
        m_svg += "<title>" + name + ": " + std::to_string(rows) + " rows</title>\n";
        m_svg +=
            "<style>text{font-family:'DejaVu Sans',sans-serif;font-size:11px;fill:#222}"
            ".heading{font-size:16px;font-weight:bold}.major{font-weight:bold}"
            ".frame{fill:none;stroke:#888}.grid{stroke:#e6e6e6}"
            ".up{fill:#1a9850;stroke:#1a9850}.down{fill:#d73027;stroke:#d73027}"
            ".trade{fill:#1f5fa8;stroke:none}.quote{fill:#b0b0b0;stroke:none}"
            ".trades{fill:none;stroke:#1f5fa8;stroke-width:1;opacity:0.5}"
            ".range-trade{stroke:#1f5fa8}.range-quote{stroke:#b0b0b0}"
            ".volume{opacity:0.55}.band{fill:#fff1cc}.fill-band{fill:#dcebff}"
            ".band-edge{stroke:#e0a000;"
            "stroke-dasharray:4 3}.break line{stroke:#999;stroke-dasharray:2 2}"
            ".break-mark{fill:none;stroke:#555;stroke-width:1.5}"
            ".last-price{stroke:#444;stroke-dasharray:3 3}.last-box{fill:#333}"
            ".last-text{fill:#fff;font-weight:bold}</style>\n";
        m_svg += "<rect x=\"0\" y=\"0\" width=\"" + Num(kWidth) + "\" height=\"" + Num(kHeight) +
                 "\" fill=\"#fff\"/>\n";
        m_svg += "<text class=\"heading\" x=\"" + Num(kLeft) + "\" y=\"24\">" + name;
        if (!m_series.Description().empty()) {
            m_svg += " &#x2013; ";
            AppendMarkupText(m_series.Description(), &m_svg);
        }
        m_svg += "</text>\n";
        std::string counts =
            std::to_string(rows) + " rows: " + std::to_string(history) + " history, " +
            std::to_string(rows - history) + " streamed" +
            (m_data.filledRows > 0 ? " (" + std::to_string(m_data.filledRows) + " gap filled)"
                                   : std::string()) +
            "; " + std::to_string(m_data.bars.size()) +
            (m_data.period.kind == PeriodKind::kTicks ? " ticks" : " bars");
        if (!m_data.bars.empty()) {
            counts += "; " + FormatSeconds(m_data.bars.front().time) + " to " +
                      FormatSeconds(m_data.bars.back().time);
        }
        if (Merged()) {
            counts += "; one mark per pixel column";
        }
        if (m_data.undatedRows > 0) {
            counts += "; " + std::to_string(m_data.undatedRows) + " rows without a date not drawn";
        }
        m_svg += "<text x=\"" + Num(kLeft) + "\" y=\"44\">" + counts + "</text>\n";
        m_svg += "<text x=\"" + Num(kLeft) + "\" y=\"" + Num(kLegendY) +
                 "\">Shaded: rows streamed after the history load; blue: gap filled after a "
                 "reconnect. Dashed line: a gap without rows (night, weekend), collapsed.</text>\n";
        if (!m_series.KeepsRows()) {
            m_svg += "<text x=\"" + Num(kLeft + 10) + "\" y=\"" + Num(kPriceTop + 24) +
                     "\">rows not kept (counts only)</text>\n";
        }
    }

    void StreamedBand() {
        const std::vector<ChartBar>& bars = *m_bars;
        const auto first = std::find_if(bars.begin(), bars.end(),
                                        [](const ChartBar& b) { return b.streamedRows > 0; });
        if (first == bars.end()) {
            return;
        }
        const double x = Left(static_cast<size_t>(first - bars.begin()));
        const double right = Left(bars.size() - 1) + m_width;
        m_svg += "<rect class=\"band\" x=\"" + Num(x) + "\" y=\"" + Num(kPriceTop) + "\" width=\"" +
                 Num(std::max(right - x, 1.0)) + "\" height=\"" + Num(kVolumeBottom - kPriceTop) +
                 "\"/>\n";
        m_svg += "<line class=\"band-edge\" x1=\"" + Num(x) + "\" y1=\"" + Num(kPriceTop) +
                 "\" x2=\"" + Num(x) + "\" y2=\"" + Num(kVolumeBottom) + "\"/>\n";
        // Near the right end the label goes left of the edge, pointing at it.
        const bool roomRight = kPlotRight - x > 70;
        m_svg += "<text class=\"streamed-label\" x=\"" + Num(roomRight ? x + 3 : x - 3) +
                 "\" y=\"" + Num(kPriceTop + 12) + "\"" +
                 (roomRight ? ">streamed" : " text-anchor=\"end\">streamed &#x2192;") + "</text>\n";
    }

    // One blue band per stretch of marks with gap-filled rows, over the
    // streamed band: at most one per pixel column however many rows there
    // are, since merged marks are drawn.
    void FilledBands() {
        const std::vector<ChartBar>& bars = *m_bars;
        double labelled = -INFINITY;
        for (size_t i = 0; i < bars.size();) {
            if (bars[i].filledRows == 0) {
                ++i;
                continue;
            }
            size_t end = i + 1;
            uint64_t rows = bars[i].filledRows;
            while (end < bars.size() && bars[end].filledRows > 0) {
                rows += bars[end++].filledRows;
            }
            const double x = Left(i);
            const std::string first =
                FormatSeconds(Merged() ? m_columns.firstFilled[i] : bars[i].time);
            const std::string last =
                FormatSeconds(Merged() ? m_columns.lastFilled[end - 1] : bars[end - 1].time);
            const std::string span = m_data.period.kind == PeriodKind::kTicks
                                         ? " from " + first + " to " + last
                                     : first == last ? " in the bar of " + first
                                                     : " in the bars from " + first + " to " + last;
            m_svg += "<g class=\"fill-band\"><title>gap filled: " + std::to_string(rows) + " rows" +
                     span + "</title><rect class=\"fill-band\" x=\"" + Num(x) + "\" y=\"" +
                     Num(kPriceTop) + "\" width=\"" + Num(Left(end - 1) + m_width - x) +
                     "\" height=\"" + Num(kVolumeBottom - kPriceTop) + "\"/>";
            // Labels of stretches close together would overlap: the first
            // one speaks for them.
            if (x - labelled >= 70) {
                labelled = x;
                const bool roomRight = kPlotRight - x > 70;
                m_svg += "<text class=\"filled-label\" x=\"" + Num(roomRight ? x + 3 : x - 3) +
                         "\" y=\"" + Num(kPriceTop + 24) + "\"" +
                         (roomRight ? ">gap filled" : " text-anchor=\"end\">gap filled &#x2192;") +
                         "</text>";
            }
            m_svg += "</g>\n";
            i = end;
        }
    }

    // A horizontal grid line at row y with its label right of the plot.
    void GridLine(double y, const char* labelClass, const std::string& label) {
        m_svg += "<line class=\"grid\" x1=\"" + Num(kLeft) + "\" y1=\"" + Num(y) + "\" x2=\"" +
                 Num(kPlotRight) + "\" y2=\"" + Num(y) + "\"/>\n";
        m_svg += "<text class=\"" + std::string(labelClass) + "\" x=\"" + Num(kPlotRight + 6) +
                 "\" y=\"" + Num(y + 4) + "\">" + label + "</text>\n";
    }

    void PriceGrid() {
        if (!m_prices.Valid()) {
            return;
        }
        // A little room above and below so no bar touches the frame.
        const double pad = std::max((m_prices.high - m_prices.low) * 0.05,
                                    std::max(std::fabs(m_prices.high) * 0.005, 1e-6));
        m_price = {m_prices.low - pad, m_prices.high + pad, kPriceBottom, kPriceTop};
        double step = 0.0;
        for (const double tick : NiceTicks(m_price.low, m_price.high, kPriceTicks, &step)) {
            GridLine(m_price(tick), "price-label", TickText(tick, step));
        }
    }

    void VolumeGrid() {
        m_volumes.Add(0.0);
        double step = 0.0;
        const std::vector<double> ticks = NiceTicks(0.0, m_volumes.high, 3, &step);
        const double top = ticks.empty() ? m_volumes.high : std::max(m_volumes.high, ticks.back());
        m_volume = {0.0, top, kVolumeBottom, kVolumeTop + 4};
        for (const double tick : ticks) {
            if (tick <= 0.0) {
                continue;
            }
            GridLine(m_volume(tick), "volume-label", VolumeText(tick, step));
        }
    }

    void TimeGrid() {
        for (const TimeLabel& label : TimeLabels(*m_bars, m_x, m_data.period, kMinLabelSpacing)) {
            const double at = m_x[label.bar];
            m_svg += "<line class=\"grid\" x1=\"" + Num(at) + "\" y1=\"" + Num(kPriceTop) +
                     "\" x2=\"" + Num(at) + "\" y2=\"" + Num(kVolumeBottom + 4) + "\"/>\n";
            m_svg += std::string("<text class=\"time-label") + (label.major ? " major" : "") +
                     "\" x=\"" + Num(at) + "\" y=\"" + Num(kTimeLabelY) + "\">" + label.text +
                     "</text>\n";
        }
    }

    void Breaks() {
        double drawn = -INFINITY;
        for (const size_t bar : m_axis.breaks) {
            const double x = kLeft + (m_axis.slot[bar] - kBreakSlots / 2) * m_slot;
            if (Merged() && x - drawn < kMinBreakSpacing) {
                continue;
            }
            drawn = x;
            const double y = kVolumeBottom;
            m_svg += "<g class=\"break\"><title>no rows from " +
                     FormatSeconds(m_data.bars[bar - 1].time) + " to " +
                     FormatSeconds(m_data.bars[bar].time) + "</title><line x1=\"" + Num(x) +
                     "\" y1=\"" + Num(kPriceTop) + "\" x2=\"" + Num(x) + "\" y2=\"" + Num(y) +
                     "\"/><path class=\"break-mark\" d=\"M" + Num(x - 4) + " " + Num(y + 4) + "L" +
                     Num(x - 1) + " " + Num(y - 4) + "M" + Num(x + 1) + " " + Num(y + 4) + "L" +
                     Num(x + 4) + " " + Num(y - 4) + "\"/></g>\n";
        }
    }

    void Volume(size_t bar, const char* cls) {
        const double volume = (*m_bars)[bar].volume;
        if (!std::isfinite(volume)) {
            return;
        }
        const double width = std::max(m_width * 0.7, 0.6);
        const double top = m_volume(std::max(volume, 0.0));
        m_svg += "<rect class=\"volume " + std::string(cls) + "\" x=\"" +
                 Num(Centre(bar) - width / 2) + "\" y=\"" + Num(top) + "\" width=\"" + Num(width) +
                 "\" height=\"" + Num(std::max(kVolumeBottom - top, 0.5)) + "\"/>";
    }

    void Bars() {
        if (!m_prices.Valid()) {
            return;
        }
        const bool candles = m_width >= kMinCandleSlot;
        for (size_t i = 0; i < m_bars->size(); ++i) {
            const ChartBar& bar = (*m_bars)[i];
            const bool priced = std::isfinite(bar.open) && std::isfinite(bar.close);
            const char* trend = !priced || bar.close >= bar.open ? "up" : "down";
            m_svg += std::string("<g class=\"bar ") + (candles ? "candle " : "ohlc ") + trend +
                     " " + RowKinds(bar) + "\"><title>" + FormatSeconds(bar.time) +
                     MergedSpan(i, "bars") + " O " + ValueText(bar.open) + " H " +
                     ValueText(bar.high) + " L " + ValueText(bar.low) + " C " +
                     ValueText(bar.close) + " V " + ValueText(bar.volume) + "</title>";
            if (priced) {
                const double x = Centre(i);
                m_svg += "<line class=\"" + std::string(trend) + "\" x1=\"" + Num(x) + "\" y1=\"" +
                         Num(m_price(bar.high)) + "\" x2=\"" + Num(x) + "\" y2=\"" +
                         Num(m_price(bar.low)) + "\"/>";
                const double open = m_price(bar.open);
                const double close = m_price(bar.close);
                if (candles) {
                    const double width = m_width * 0.7;
                    m_svg += "<rect class=\"" + std::string(trend) + "\" x=\"" +
                             Num(x - width / 2) + "\" y=\"" + Num(std::min(open, close)) +
                             "\" width=\"" + Num(width) + "\" height=\"" +
                             Num(std::max(std::fabs(open - close), 1.0)) + "\"/>";
                } else if (!Merged()) {
                    const double tick = m_width * 0.45;
                    m_svg += "<path class=\"" + std::string(trend) + "\" d=\"M" + Num(x - tick) +
                             " " + Num(open) + "H" + Num(x) + "M" + Num(x) + " " + Num(close) +
                             "H" + Num(x + tick) + "\"/>";
                }
            }
            Volume(i, trend);
            m_svg += "</g>\n";
        }
    }

    void Ticks() {
        if (!m_prices.Valid()) {
            return;
        }
        const double radius = std::clamp(m_width * 0.4, 0.8, 3.0);
        std::string line = "<polyline class=\"trades\" points=\"";
        for (size_t i = 0; i < m_bars->size(); ++i) {
            const ChartBar& bar = (*m_bars)[i];
            if (!bar.quote && std::isfinite(bar.close)) {
                line += Num(Centre(i)) + "," + Num(m_price(bar.close)) + " ";
            }
        }
        m_svg += line + "\"/>\n";
        for (size_t i = 0; i < m_bars->size(); ++i) {
            const ChartBar& bar = (*m_bars)[i];
            const char* kind = bar.quote ? "quote" : "trade";
            const std::string span = MergedSpan(i, "ticks");
            m_svg += std::string("<g class=\"bar tick ") + kind + " " + RowKinds(bar) +
                     "\"><title>" + FormatSeconds(bar.time) + span + " " + kind + " " +
                     (span.empty() ? ValueText(bar.close)
                                   : "H " + ValueText(bar.high) + " L " + ValueText(bar.low) +
                                         " last " + ValueText(bar.close)) +
                     " V " + ValueText(bar.volume) + "</title>";
            if (!span.empty() && std::isfinite(bar.high) && std::isfinite(bar.low)) {
                // The column's range of prices, as a bar's wick.
                m_svg += std::string("<line class=\"range-") + kind + "\" x1=\"" + Num(Centre(i)) +
                         "\" y1=\"" + Num(m_price(bar.high)) + "\" x2=\"" + Num(Centre(i)) +
                         "\" y2=\"" + Num(m_price(bar.low) + 0.5) + "\"/>";
            } else if (std::isfinite(bar.close)) {
                m_svg += "<circle class=\"" + std::string(kind) + "\" cx=\"" + Num(Centre(i)) +
                         "\" cy=\"" + Num(m_price(bar.close)) + "\" r=\"" +
                         Num(bar.quote ? radius * 0.6 : radius) + "\"/>";
            }
            if (!bar.quote) {
                Volume(i, "trade");
            }
            m_svg += "</g>\n";
        }
    }

    void LastPrice() {
        const std::vector<ChartBar>& bars = m_data.bars;
        const auto last = std::find_if(bars.rbegin(), bars.rend(), [](const ChartBar& b) {
            return !b.quote && std::isfinite(b.close);
        });
        if (last == bars.rend() || !m_prices.Valid()) {
            return;
        }
        const double y = m_price(last->close);
        const std::string text = PriceText(last->close);
        m_svg += "<g class=\"last-price\"><line class=\"last-price\" x1=\"" + Num(kLeft) +
                 "\" y1=\"" + Num(y) + "\" x2=\"" + Num(kPlotRight) + "\" y2=\"" + Num(y) +
                 "\"/><rect class=\"last-box\" x=\"" + Num(kPlotRight + 2) + "\" y=\"" +
                 Num(y - 8) + "\" width=\"" + Num(6.5 * static_cast<double>(text.size()) + 8) +
                 "\" height=\"16\"/><text class=\"last-text\" x=\"" + Num(kPlotRight + 5) +
                 "\" y=\"" + Num(y + 4) + "\">" + text + "</text></g>\n";
    }

    const CSeries& m_series;
    const ChartData& m_data;
    std::string m_svg;
    TimeAxis m_axis;
    double m_slot = 1.0;   // pixels per slot of the axis
    double m_width = 1.0;  // pixels per drawn mark
    ColumnBars m_columns;  // the merged bars, when there are more bars than columns
    const std::vector<ChartBar>* m_bars = &m_data.bars;  // what is drawn
    std::vector<double> m_x;                             // left edge of each drawn mark
    Range m_prices;
    Range m_volumes;
    Scale m_price{0, 1, kPriceBottom, kPriceTop};
    Scale m_volume{0, 1, kVolumeBottom, kVolumeTop};
};

}  // namespace

void AppendMarkupText(std::string_view text, std::string* out) {
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
            case '\'':
                out->append("&#39;");
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

std::string SeriesChart(const CSeries& series, const ChartData& data) {
    return CChartWriter(series, data).Write();
}

std::string ChartFileName(const SeriesKey& key) {
    std::string name;
    for (size_t i = 0; i < key.symbol.size(); ++i) {
        const auto c = static_cast<unsigned char>(key.symbol[i]);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || (c == '.' && i > 0) || c == '_';
        if (plain) {
            name.push_back(static_cast<char>(c));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            name += hex;
        }
    }
    const std::string suffix = "_" + IntervalText(key.Interval()) + ".svg";
    if (name.size() + suffix.size() <= kMaxChartFileName) {
        return name + suffix;
    }
    // '~' never comes out of the escaping, so a shortened name cannot equal
    // a whole one; the hash of the whole symbol tells shortened names apart.
    uint64_t hash = 14695981039346656037ULL;
    for (const char ch : key.symbol) {
        hash = (hash ^ static_cast<unsigned char>(ch)) * 1099511628211ULL;
    }
    char mark[24];
    std::snprintf(mark, sizeof mark, "~%016llx", static_cast<unsigned long long>(hash));
    size_t keep = kMaxChartFileName - suffix.size() - std::strlen(mark);
    // No %XX escape is cut in two.
    for (size_t back = 1; back <= 2 && back <= keep; ++back) {
        if (name[keep - back] == '%') {
            keep -= back;
            break;
        }
    }
    return name.substr(0, keep) + mark + suffix;
}

}  // namespace nsthost
