// Time per row of the host library's calls as a plug-in makes them: four
// values and a commit per row, nobody observing, of one series (a history
// load) or of 500 in turn (streamed rows), counting rows only or keeping
// them. The rows of a pass are all read before it ends, as a reader takes
// the queued ones on. Count instructions with callgrind's
// --toggle-collect='*TimedRows*'.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/benchmark_main.h"
#include "host/NSTFeed.h"
#include "host/feed_store.h"

namespace {

constexpr int kRows = 20000;

[[gnu::noinline]] void TimedRows(const std::vector<std::string>& symbols) {
    for (int i = 0; i < kRows; ++i) {
        const char* symbol = symbols[static_cast<size_t>(i) % symbols.size()].c_str();
        NSTSETVALUE(symbol, 0.0f, 1, 45000.0 + i * 1e-6);
        NSTSETVALUE(symbol, 0.0f, 2, 100.25);
        NSTSETVALUE(symbol, 0.0f, 3, 300.0);
        NSTSETVALUE(symbol, 0.0f, 4, 1.0);
        NSTCOMMITROW(symbol, 0.0f);
    }
    benchmark::DoNotOptimize(nsthost::FeedStore().SeriesCount());
}

void BM_CommitRows(benchmark::State& state) {
    std::vector<std::string> symbols;
    for (int64_t i = 0; i < state.range(0); ++i) {
        symbols.push_back("S" + std::to_string(i));
    }
    nsthost::CFeedStore& store = nsthost::FeedStore();
    store.SetKeepRows(state.range(1) != 0);
    for (auto _ : state) {
        state.PauseTiming();
        store.Clear();
        store.BeginRequest();
        state.ResumeTiming();
        TimedRows(symbols);
    }
    store.Clear();
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_CommitRows)
    ->ArgNames({"series", "keep"})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({500, 0})
    ->Args({500, 1})
    ->Unit(benchmark::kMicrosecond);

constexpr char kUsage[] =
    "Usage: feed_store_bench [--benchmark_OPTION=VALUE ...]\n"
    "Rows of four values through the host library's calls, of one series or of 500.\n"
    "The --benchmark_ options are Google Benchmark's (--benchmark_filter=REGEX, ...).\n";

}  // namespace

int main(int argc, char** argv) {
    return orvella::bench::RunBenchmarkMain({"feed_store_bench", kUsage}, argc, argv);
}
