// OnLevelOneData with dispatch and row delivery on in-memory chunks of update
// lines for 500 watched symbols, beside a baseline that only splits the same
// lines into 62 std::string fields with fresh storage per line.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <vector>

#include "bench/levelone/level_one_bench_lines.h"
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

class CCountingHostFeed : public CHostFeed {
  public:
    void RequireUserIDPassword() override {}
    void GetUserIDPassword(char**, char**) override {}
    void NSTSETUPDATA(const char*, const char*, float, int, const char*, double) override {}
    void NSTSETLABEL(const char*, float, int, const char*) override {}
    void NSTSETVALUE(const char*, float, int, double value) override { m_sum += value; }
    void NSTCOMMITROW(const char*, float) override { ++m_rows; }
    void UpdatePercent(int) override {}
    double m_sum = 0;
    long m_rows = 0;
};

// The stream cut into socket-sized chunks of wide text, as ReadAvailable
// hands them on.
std::vector<std::wstring> WideChunks(const std::string& stream) {
    std::vector<std::wstring> chunks;
    for (std::size_t pos = 0; pos < stream.size(); pos += kChunkBytes) {
        chunks.push_back(platform::WidenText(std::string_view(stream).substr(pos, kChunkBytes)));
    }
    return chunks;
}

void BM_OnLevelOneData(benchmark::State& state) {
    const float interval = static_cast<float>(state.range(0));
    CCountingHostFeed feed;
    SetHostFeed(&feed);
    Globals().historyInProgress = 0;
    CLevelOneData data;
    CLevelOneTestHelper::ShortenWaits(data, 0, 0);
    for (int i = 0; i < kBenchSymbols; ++i) {
        data.WatchSymbol(platform::WidenText(BenchSymbol(i)), interval);
    }
    const std::vector<std::wstring> chunks = WideChunks(BenchUpdateStream(kLines));
    for (auto _ : state) {
        for (const std::wstring& chunk : chunks) {
            data.OnLevelOneData(chunk);
        }
    }
    benchmark::DoNotOptimize(feed.m_sum);
    state.SetItemsProcessed(state.iterations() * kLines);
    state.counters["rows_per_line"] =
        static_cast<double>(feed.m_rows) / static_cast<double>(state.iterations() * kLines);
    SetHostFeed(nullptr);
}
// Argument: the watched interval (5-minute bars, ticks).
BENCHMARK(BM_OnLevelOneData)->Arg(5)->Arg(0)->Unit(benchmark::kMillisecond);

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

}  // namespace
}  // namespace orvella

BENCHMARK_MAIN();
