#include "host/chart_page.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <vector>

#include "host/chart_model.h"
#include "host/chart_page_script.h"
#include "host/day_count.h"
#include "host/summary.h"
#include "host/svg_chart.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace nsthost {
namespace {

const char kPageHead[] =
    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<title>nst-host charts</title>\n"
    "<style>body{font-family:'DejaVu Sans',sans-serif;margin:16px;color:#222;"
    "background:#f4f4f4}h1{font-size:20px}h2{font-size:16px;margin:4px 0}"
    "table{border-collapse:collapse;background:#fff}"
    "th,td{border:1px solid #c8c8c8;padding:3px 8px;text-align:right;white-space:nowrap}"
    "th{background:#dde6f0}td.text,th.text{text-align:left}"
    "section{margin:14px 0;padding:8px;background:#fff;border:1px solid #d8d8d8}"
    "section p{margin:2px 0 6px}.rise{color:#1a9850}.fall{color:#d73027}"
    ".readout{font-size:13px;min-height:18px;margin:4px 0;white-space:pre}"
    "canvas{width:960px;height:440px;display:block;outline:none;cursor:crosshair}"
    "canvas:focus{box-shadow:0 0 0 2px #9cc3ee}.key{font-size:12px;color:#555}"
    ".key span{display:inline-block;width:12px;height:12px;margin:0 4px -2px 12px;"
    "border:1px solid #ccc}details{margin-top:6px}svg{max-width:100%;height:auto}</style>\n"
    "</head>\n<body>\n<h1>Charts of the recorded series</h1>\n";

// Bars handed to the page's script per series: the latest ones. Older bars
// are in the whole-series chart below it, one mark per pixel column.
constexpr size_t kMaxPageBars = 60000;

// A chart file name inside a URL: its '%' escapes must stay escapes.
std::string UrlPath(const std::string& name) {
    std::string url;
    for (char ch : name) {
        url += ch == '%' ? std::string("%25") : std::string(1, ch);
    }
    return url;
}

std::string Escaped(std::string_view text) {
    std::string out;
    AppendMarkupText(text, &out);
    return out;
}

// "12.5 +0.25 (+2.04%) from the previous close 12.25", the change coloured.
std::string LastPriceText(const LastChange& change, const BarPeriod& period) {
    if (!std::isfinite(change.last)) {
        return "-";
    }
    std::string text = "<b>" + ValueText(change.last) + "</b>";
    if (!std::isfinite(change.previous)) {
        return text;
    }
    const double delta = change.last - change.previous;
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "%+.10g (%+.2f%%)", delta,
                  change.previous != 0.0 ? delta / change.previous * 100.0 : 0.0);
    const bool byDay = period.kind == PeriodKind::kTicks || period.kind == PeriodKind::kSeconds;
    return text + " <span class=\"" + (delta < 0 ? "fall" : "rise") + "\">" + numbers +
           "</span> from the " + (byDay ? "previous day's close " : "previous bar's close ") +
           ValueText(change.previous);
}

// A number of the bars' JSON: null for NaN.
void AppendJsonNumber(double value, std::string* out) {
    if (!std::isfinite(value)) {
        *out += "null";
        return;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    *out += text;
}

// The latest bars for the page's script: times as differences (seconds, the
// first from the day count's epoch), prices, volumes and a kind per bar (1
// streamed, 2 gap-filled, 4 quote). Only numbers, so the block cannot end
// its script element early.
std::string BarsJson(const ChartData& data) {
    const std::vector<ChartBar>& bars = data.bars;
    const size_t first = bars.size() > kMaxPageBars ? bars.size() - kMaxPageBars : 0;
    std::string t, o, h, l, c, v, k;
    int64_t previous = 0;
    for (size_t i = first; i < bars.size(); ++i) {
        const ChartBar& bar = bars[i];
        const char* comma = i > first ? "," : "";
        t += comma + std::to_string(bar.time - previous);
        previous = bar.time;
        for (auto [value, out] :
             {std::pair{bar.open, &o}, std::pair{bar.high, &h}, std::pair{bar.low, &l},
              std::pair{bar.close, &c}, std::pair{bar.volume, &v}}) {
            *out += comma;
            AppendJsonNumber(value, out);
        }
        const int kind =
            (bar.streamedRows > 0 ? 1 : 0) | (bar.filledRows > 0 ? 2 : 0) | (bar.quote ? 4 : 0);
        k += comma + std::to_string(kind);
    }
    const int64_t seconds = data.period.kind == PeriodKind::kTicks     ? 0
                            : data.period.kind == PeriodKind::kSeconds ? data.period.seconds
                                                                       : 86400;
    return "{\"p\":" + std::to_string(seconds) + ",\"t\":[" + t + "],\"o\":[" + o + "],\"h\":[" +
           h + "],\"l\":[" + l + "],\"c\":[" + c + "],\"v\":[" + v + "],\"k\":[" + k + "]}";
}

// The chart file's SVG without its XML declaration, for the page.
std::string InlineSvg(const std::string& svg) {
    const size_t start = svg.find("<svg");
    return start == std::string::npos ? svg : svg.substr(start);
}

// One series: its row of the summary table and its section below it.
struct PageEntry {
    std::string row;
    std::string section;
};

PageEntry EntryOf(const CSeries& series, const ChartData& data, const std::string& svg,
                  size_t number) {
    const std::string id = "chart-" + std::to_string(number);
    const std::string file = ChartFileName(series.Key());
    const std::string symbol = Escaped(series.Key().symbol);
    const std::string interval = IntervalText(series.Key().Interval());
    const uint64_t rows = series.RowCount();
    const uint64_t history = series.HistoryRowCount();
    const std::string name = data.period.TraderName();
    const std::string marks = std::to_string(data.bars.size());
    const LastChange change = LastAndPreviousClose(data);
    PageEntry entry;
    entry.row = "<tr><td class=\"text\"><a href=\"#" + id + "\">" + symbol +
                "</a></td><td class=\"text\" title=\"interval " + interval + "\">" + name +
                "</td><td class=\"text\">" + Escaped(series.Description()) + "</td><td>" +
                std::to_string(rows) + "</td><td>" + std::to_string(history) + "</td><td>" +
                std::to_string(rows - history) + "</td><td>" + marks + "</td><td>" +
                FormatDayCount(series.FirstDate()) + "</td><td>" +
                FormatDayCount(series.LastDate()) + "</td><td>" +
                (std::isfinite(change.last) ? ValueText(change.last) : "-") + "</td></tr>\n";
    const bool shown = data.bars.size() <= kMaxPageBars;
    entry.section =
        "<section id=\"" + id + "\">\n<h2>" + symbol + " &#x2013; " + name + "</h2>\n<p>" +
        LastPriceText(change, data.period) + "</p>\n<p class=\"key\">" + std::to_string(rows) +
        " rows (" + std::to_string(history) + " history, " + std::to_string(rows - history) +
        " streamed" +
        (data.filledRows > 0 ? ", " + std::to_string(data.filledRows) + " gap filled" : "") +
        "); " + marks + (data.period.kind == PeriodKind::kTicks ? " ticks" : " bars") +
        (shown ? "" : ", the latest " + std::to_string(kMaxPageBars) + " below") +
        "<span style=\"background:#fff1cc\"></span>streamed"
        "<span style=\"background:#dcebff\"></span>gap filled after a reconnect</p>\n"
        "<div class=\"live-chart\" id=\"live-" +
        std::to_string(number) +
        "\"><div class=\"readout\"></div><canvas tabindex=\"0\" width=\"960\" "
        "height=\"440\" aria-label=\"" +
        symbol + " " + name +
        "\"></canvas>\n"
        "<script type=\"application/json\">" +
        BarsJson(data) +
        "</script></div>\n"
        "<details><summary>Whole series (<a href=\"" +
        UrlPath(file) + "\">" + Escaped(file) + "</a>)</summary>\n" + InlineSvg(svg) +
        "</details>\n</section>\n";
    return entry;
}

// Writes a new file of a name no one can foresee, then renames it over the
// old one: a link planted under the file's name is replaced, never followed.
bool WriteFile(const std::filesystem::path& dir, const std::string& name, const std::string& text,
               std::string* error) {
    const std::filesystem::path path = dir / name;
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char unique[48];
        std::snprintf(unique, sizeof unique, "nst-host-%08x%08x.tmp", random(), random());
        const std::filesystem::path temporary = dir / unique;
        std::FILE* file = nullptr;
        int cause = 0;
        const platform::NewFileResult created =
            platform::CreateNewFile(platform::WidenText(temporary.string()), &file, &cause);
        if (created == platform::NewFileResult::kExists) {
            continue;
        }
        if (created != platform::NewFileResult::kCreated) {
            *error = "cannot write " + path.string() + ": " + std::strerror(cause);
            return false;
        }
        const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        const bool closed = std::fclose(file) == 0;
        const int moved = written && closed
                              ? platform::MoveFileReplacing(temporary.string(), path.string())
                              : EIO;
        if (moved != 0) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            *error = "cannot write " + path.string() + ": " + std::strerror(moved);
            return false;
        }
        return true;
    }
    *error = "cannot write " + path.string() + ": no free temporary name";
    return false;
}

// Creates the chart folder when missing, closed to other users, and refuses
// one in which others could plant links under the predictable file names.
bool PrepareFolder(const std::string& dir, std::string* error) {
    std::error_code ec;
    if (std::filesystem::create_directories(dir, ec)) {
        std::filesystem::permissions(
            dir, std::filesystem::perms::group_write | std::filesystem::perms::others_write,
            std::filesystem::perm_options::remove, ec);
    }
    if (ec) {
        *error = "cannot create chart folder " + dir + ": " + ec.message();
        return false;
    }
    if (platform::FolderOpenToOthers(platform::WidenText(dir))) {
        *error = "chart folder " + dir +
                 " is writable by other users (and not a sticky folder of ours); choose a "
                 "private folder";
        return false;
    }
    return true;
}

}  // namespace

bool WriteCharts(const CFeedStore& store, const std::string& dir, std::string* error) {
    if (!PrepareFolder(dir, error)) {
        return false;
    }
    bool ok = true;
    std::vector<PageEntry> entries;
    store.ForEachSeries([&](const CSeries& series) {
        const ChartData data = BuildBars(series);
        const std::string svg = SeriesChart(series, data);
        ok = WriteFile(dir, ChartFileName(series.Key()), svg, error) && ok;
        entries.push_back(EntryOf(series, data, svg, entries.size() + 1));
    });

    std::string page = kPageHead;
    page += "<p>" + std::to_string(entries.size()) +
            " series. Each chart opens on its latest bars: the mouse wheel or + and - zoom, "
            "dragging or the arrow keys scroll, Home and End go to the first and the latest "
            "bars; the crosshair shows a bar's time, open, high, low, close and volume. Below "
            "each chart the whole series, one mark per pixel column.</p>\n";
    page +=
        "<table>\n<thead><tr><th class=\"text\">Symbol</th><th class=\"text\">Series</th>"
        "<th class=\"text\">Description</th><th>Rows</th><th>History</th>"
        "<th>Streamed</th><th>Bars or ticks</th><th>First</th><th>Last</th><th>Last price</th></tr>"
        "</thead>\n<tbody>\n";
    for (const PageEntry& entry : entries) {
        page += entry.row;
    }
    page += "</tbody>\n</table>\n";
    for (const PageEntry& entry : entries) {
        page += entry.section;
    }
    page += std::string("<script>") + kChartPageScript + "</script>\n</body>\n</html>\n";
    return WriteFile(dir, "index.html", page, error) && ok;
}

}  // namespace nsthost
