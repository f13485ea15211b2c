// Time per row of building the bars and drawing the chart of a series of
// five-minute bars, from ten thousand to a million rows: the figures per row
// stay flat when drawing is linear in the rows.
#include <benchmark/benchmark.h>

#include "bench/benchmark_main.h"
#include "host/chart_model.h"
#include "host/series.h"
#include "host/svg_chart.h"

namespace {

// Trading days of 78 five-minute bars from 2 January 1990, 09:30.
nsthost::CSeries FiveMinuteSeries(int64_t rows) {
    nsthost::CSeries series(nsthost::SeriesKey::Of("BENCH", -5.0f), true);
    series.Announce("", 3, "", 0.0);
    series.SetLabel(1, "Date/Time");
    series.SetLabel(2, "Close");
    series.SetLabel(3, "Volume");
    constexpr double kStart = 32875.0 + 9.5 / 24.0;
    for (int64_t i = 0; i < rows; ++i) {
        series.SetValue(1, kStart + static_cast<double>(i / 78) +
                               static_cast<double>(i % 78) * 300.0 / 86400.0);
        series.SetValue(2, 100.0 + static_cast<double>(i % 97) / 10.0);
        series.SetValue(3, 10.0);
        series.CommitRow(true);
    }
    return series;
}

void BM_ChartOfFiveMinuteBars(benchmark::State& state) {
    const nsthost::CSeries series = FiveMinuteSeries(state.range(0));
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string svg = nsthost::SeriesChart(series, nsthost::BuildBars(series));
        bytes = svg.size();
        benchmark::DoNotOptimize(svg.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["svg_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ChartOfFiveMinuteBars)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

constexpr char kUsage[] =
    "Usage: chart_bench [--benchmark_OPTION=VALUE ...]\n"
    "Bars and the SVG chart of series of 10,000 to 1,000,000 five-minute rows.\n"
    "The --benchmark_ options are Google Benchmark's (--benchmark_filter=REGEX, ...).\n";

}  // namespace

int main(int argc, char** argv) {
    return orvella::bench::RunBenchmarkMain({"chart_bench", kUsage}, argc, argv);
}
