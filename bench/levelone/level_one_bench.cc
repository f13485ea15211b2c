// OnLevelOneData with dispatch and row delivery on in-memory chunks of update
// lines for 500 and 5,000 watched symbols, beside a baseline that only splits
// the same lines into 62 std::string fields with fresh storage per line.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <vector>

#include "bench/levelone/counting_host_feed.h"
#include "bench/levelone/level_one_bench_lines.h"
#include "cli/command_line.h"
#include "platform/text.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/host_feed.h"
#include "plugin/levelone/level_one_data.h"
#include "tests/plugin/levelone/level_one_test_helper.h"

namespace orvella {
namespace {

constexpr int kLines = 20000;
// One read of the socket holds at most this many bytes.
constexpr std::size_t kChunkBytes = 131071;

// The stream cut into socket-sized chunks of wide text, as ReadAvailable
// hands them on.
std::vector<std::wstring> WideChunks(const std::string& stream) {
    std::vector<std::wstring> chunks;
    for (std::size_t pos = 0; pos < stream.size(); pos += kChunkBytes) {
        chunks.push_back(platform::WidenText(std::string_view(stream).substr(pos, kChunkBytes)));
    }
    return chunks;
}

// The chunks as they are handed on: wide text (OnLevelOneData) or the bytes
// of a socket read (OnLevelOneBytes, widening included).
template <bool kBytes>
void BM_LevelOne(benchmark::State& state) {
    const float interval = static_cast<float>(state.range(0));
    const int symbols = static_cast<int>(state.range(1));
    CCountingHostFeed feed;
    SetHostFeed(&feed);
    Globals().historyInProgress = 0;
    CLevelOneData data;
    CLevelOneTestHelper::ShortenWaits(data, 0, 0);
    for (int i = 0; i < symbols; ++i) {
        data.WatchSymbol(platform::WidenText(BenchSymbol(i)), interval);
    }
    const std::string stream = BenchUpdateStream(kLines, symbols);
    const std::vector<std::wstring> chunks = WideChunks(stream);
    for (auto _ : state) {
        if constexpr (kBytes) {
            for (std::size_t pos = 0; pos < stream.size(); pos += kChunkBytes) {
                data.OnLevelOneBytes(std::string_view(stream).substr(pos, kChunkBytes));
            }
        } else {
            for (const std::wstring& chunk : chunks) {
                data.OnLevelOneData(chunk);
            }
        }
    }
    benchmark::DoNotOptimize(feed.m_sum);
    state.SetItemsProcessed(state.iterations() * kLines);
    state.counters["rows_per_line"] =
        static_cast<double>(feed.m_rows) / static_cast<double>(state.iterations() * kLines);
    SetHostFeed(nullptr);
}
// Arguments: the watched interval (5-minute bars, ticks) and the number of
// watched symbols.
BENCHMARK(BM_LevelOne<false>)
    ->Name("BM_OnLevelOneData")
    ->ArgsProduct({{5, 0}, {kBenchSymbols, kBenchSymbolsLarge}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LevelOne<true>)
    ->Name("BM_OnLevelOneBytes")
    ->ArgsProduct({{5, 0}, {kBenchSymbols, kBenchSymbolsLarge}})
    ->Unit(benchmark::kMillisecond);

void BM_SplitBaseline(benchmark::State& state) {
    const std::string stream = BenchUpdateStream(kLines);
    std::size_t total = 0;
    for (auto _ : state) {
        SplitOnlyLines(stream, [&total](const std::vector<std::string>& fields) {
            total += fields[32].size();
            benchmark::DoNotOptimize(fields.data());
        });
    }
    benchmark::DoNotOptimize(total);
    state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_SplitBaseline)->Unit(benchmark::kMillisecond);

constexpr char kUsage[] =
    "Usage: levelone_bench [--benchmark_OPTION=VALUE ...]\n"
    "Level-one lines in memory through CLevelOneData for 500 and 5,000 watched\n"
    "symbols, beside a split-only baseline. The --benchmark_ options are Google\n"
    "Benchmark's (--benchmark_filter=REGEX, --benchmark_repetitions=N, ...).\n";

}  // namespace
}  // namespace orvella

int main(int argc, char** argv) {
    const orvella::cli::CProgram program{"levelone_bench", orvella::kUsage};
    if (const int code = orvella::cli::AnswerBenchmarkOptions(program, argc, argv); code >= 0)
        return code;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
