#include "host/chart_page.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <vector>

#include "host/chart_model.h"
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
    "section p{margin:2px 0 6px}img{max-width:100%;height:auto;display:block}</style>\n"
    "</head>\n<body>\n<h1>Charts of the recorded series</h1>\n";

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

std::string LastPrice(const ChartData& data) {
    for (auto bar = data.bars.rbegin(); bar != data.bars.rend(); ++bar) {
        if (!bar->quote && std::isfinite(bar->close)) {
            return ValueText(bar->close);
        }
    }
    return "-";
}

// One series: its row of the summary table and its section below it.
struct PageEntry {
    std::string row;
    std::string section;
};

PageEntry EntryOf(const CSeries& series, const ChartData& data, size_t number) {
    const std::string id = "chart-" + std::to_string(number);
    const std::string file = ChartFileName(series.Key());
    const std::string symbol = Escaped(series.Key().symbol);
    const std::string interval = IntervalText(series.Key().Interval());
    const uint64_t rows = series.RowCount();
    const uint64_t history = series.HistoryRowCount();
    const std::string kind = data.period.Name();
    const std::string marks = std::to_string(data.bars.size());
    PageEntry entry;
    entry.row = "<tr><td class=\"text\"><a href=\"#" + id + "\">" + symbol +
                "</a></td><td class=\"text\">" + kind + "</td><td>" + interval +
                "</td><td class=\"text\">" + Escaped(series.Description()) + "</td><td>" +
                std::to_string(rows) + "</td><td>" + std::to_string(history) + "</td><td>" +
                std::to_string(rows - history) + "</td><td>" + marks + "</td><td>" +
                FormatDayCount(series.FirstDate()) + "</td><td>" +
                FormatDayCount(series.LastDate()) + "</td><td>" + LastPrice(data) + "</td></tr>\n";
    entry.section =
        "<section id=\"" + id + "\">\n<h2>" + symbol + " &#x2013; " + kind + "</h2>\n<p>interval " +
        interval + "; " + std::to_string(rows) + " rows (" + std::to_string(history) +
        " history, " + std::to_string(rows - history) + " streamed); " + marks +
        (data.period.kind == PeriodKind::kTicks ? " ticks" : " bars") + "</p>\n<a href=\"" +
        UrlPath(file) + "\"><img src=\"" + UrlPath(file) +
        "\" width=\"960\" height=\"560\" alt=\"" + symbol + " " + kind + "\"></a>\n</section>\n";
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
        ok = WriteFile(dir, ChartFileName(series.Key()), SeriesChart(series, data), error) && ok;
        entries.push_back(EntryOf(series, data, entries.size() + 1));
    });

    std::string page = kPageHead;
    page += "<p>" + std::to_string(entries.size()) +
            " series. Each chart: bars of the series' "
            "interval (ticks as dots), volume below; the shaded part was streamed after the "
            "history load; dashed lines mark collapsed gaps without rows.</p>\n";
    page +=
        "<table>\n<thead><tr><th class=\"text\">Symbol</th><th class=\"text\">Chart</th>"
        "<th>Interval</th><th class=\"text\">Description</th><th>Rows</th><th>History</th>"
        "<th>Streamed</th><th>Bars or ticks</th><th>First</th><th>Last</th><th>Last price</th></tr>"
        "</thead>\n<tbody>\n";
    for (const PageEntry& entry : entries) {
        page += entry.row;
    }
    page += "</tbody>\n</table>\n";
    for (const PageEntry& entry : entries) {
        page += entry.section;
    }
    page += "</body>\n</html>\n";
    return WriteFile(dir, "index.html", page, error) && ok;
}

}  // namespace nsthost
