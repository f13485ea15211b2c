// OnLevelOneData with dispatch and row delivery on in-memory chunks of update
// lines for 500 and 5,000 watched symbols, beside a baseline that only splits
// the same lines into 62 std::string fields with fresh storage per line.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <vector>

#include "bench/benchmark_main.h"
#include "bench/levelone/counting_host_feed.h"
#include "bench/levelone/level_one_bench_lines.h"
#include "host/feed_store.h"
#include "platform/text.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/host_feed.h"
#include "plugin/boundary/row_gate.h"
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

// The stand-in host's feed library behind the plug-in's calls, as nst-host
// binds it (rows counted only), so that its cost per call is in the figures.
class CStoreHostFeed : public CCountingHostFeed {
  public:
    CStoreHostFeed() {
        nsthost::FeedStore().Clear();
        nsthost::FeedStore().SetKeepRows(false);
    }
    void NSTSETUPDATA(const char* symbol, const char* description, float interval, int columns,
                      const char* category, double start) override {
        nsthost::FeedStore().SetupData(symbol, description, interval, columns, category, start);
    }
    void NSTSETVALUE(const char* symbol, float interval, int column, double value) override {
        nsthost::FeedStore().SetValue(symbol, interval, column, value);
    }
    void NSTCOMMITROW(const char* symbol, float interval) override {
        ++m_rows;
        nsthost::FeedStore().CommitRow(symbol, interval);
    }
};

// One timed pass over the stream, apart from the warm-up pass so that a
// profiler can count it alone (valgrind --toggle-collect='*TimedPass*').
template <typename THandle>
[[gnu::noinline]] void TimedPass(const THandle& handle) {
    handle();
}

// How the chunks are handed on: wide text (OnLevelOneData), the bytes of a
// socket read (OnLevelOneBytes, widening included), those bytes with the
// stand-in host library taking the rows, or with the row gate in front of it
// remembering every row, as in the shipped plug-in while it streams.
enum class Path { kWide, kBytes, kBytesToHostLibrary, kBytesThroughGate };

template <Path kPath>
void BM_LevelOne(benchmark::State& state) {
    const float interval = static_cast<float>(state.range(0));
    const int symbols = static_cast<int>(state.range(1));
    CCountingHostFeed counting;
    CStoreHostFeed store;
    constexpr bool kToStore =
        kPath == Path::kBytesToHostLibrary || kPath == Path::kBytesThroughGate;
    CCountingHostFeed& feed = kToStore ? store : counting;
    CRowGate gate;
    gate.SetInner(&feed);
    gate.TrackRows(true);
    if constexpr (kPath == Path::kBytesThroughGate) {
        SetHostFeed(&gate);
    } else {
        SetHostFeed(&feed);
    }
    Globals().historyInProgress = 0;
    CLevelOneData data;
    CLevelOneTestHelper::ShortenWaits(data, 0, 0);
    for (int i = 0; i < symbols; ++i) {
        data.WatchSymbol(platform::WidenText(BenchSymbol(i)), interval);
    }
    const std::string stream = BenchUpdateStream(kLines, symbols);
    const std::vector<std::wstring> chunks = WideChunks(stream);
    const auto handleStream = [&] {
        if constexpr (kPath == Path::kWide) {
            for (const std::wstring& chunk : chunks) {
                data.OnLevelOneData(chunk);
            }
        } else {
            for (std::size_t pos = 0; pos < stream.size(); pos += kChunkBytes) {
                data.OnLevelOneBytes(std::string_view(stream).substr(pos, kChunkBytes));
            }
        }
    };
    // The figures are those of a running stream: every series already exists
    // in the host library when the timing starts.
    handleStream();
    const long warmUpRows = feed.m_rows;
    for (auto _ : state) {
        TimedPass(handleStream);
    }
    benchmark::DoNotOptimize(feed.m_sum);
    state.SetItemsProcessed(state.iterations() * kLines);
    state.counters["rows_per_line"] = static_cast<double>(feed.m_rows - warmUpRows) /
                                      static_cast<double>(state.iterations() * kLines);
    SetHostFeed(nullptr);
}
// Arguments: the watched interval (5-minute bars, ticks) and the number of
// watched symbols.
BENCHMARK(BM_LevelOne<Path::kWide>)
    ->Name("BM_OnLevelOneData")
    ->ArgsProduct({{5, 0}, {kBenchSymbols, kBenchSymbolsLarge}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LevelOne<Path::kBytes>)
    ->Name("BM_OnLevelOneBytes")
    ->ArgsProduct({{5, 0}, {kBenchSymbols, kBenchSymbolsLarge}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LevelOne<Path::kBytesToHostLibrary>)
    ->Name("BM_OnLevelOneBytesToHostLibrary")
    ->ArgsProduct({{5, 0}, {kBenchSymbols, kBenchSymbolsLarge}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LevelOne<Path::kBytesThroughGate>)
    ->Name("BM_OnLevelOneBytesThroughGate")
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
    return orvella::bench::RunBenchmarkMain({"levelone_bench", orvella::kUsage}, argc, argv);
}
