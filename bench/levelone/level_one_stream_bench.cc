// The level-one path over a real socket: orvella-feed-sim streams update
// lines for 500 watched symbols; the plug-in's socket class hands them to the
// level-one data object, which delivers rows to a counting host library.
// Beside it, in the same run, a baseline connection receives the same stream
// and only splits every line into 62 std::string fields.
//
//   levelone_stream_bench PATH_TO_orvella-feed-sim [SECONDS]
//
// The feed clock starts inside a trading session (2024-03-06 11:00) so that
// update lines carry trades. Prints lines/s of both (feed at its maximum rate) and the delay from a
// line's send time stamp (field 40) to the end of its row delivery, median
// and 99th percentile, with the feed at 20,000 lines/s.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "bench/levelone/counting_host_feed.h"
#include "bench/levelone/level_one_bench_lines.h"
#include "cli/command_line.h"
#include "platform/async_socket.h"
#include "platform/message_queue.h"
#include "platform/text.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/host_feed.h"
#include "plugin/levelone/corvan_socket.h"
#include "plugin/levelone/level_one_data.h"
#include "testing/feed_sim.h"
#include "testing/private_environment.h"
#include "tests/plugin/levelone/level_one_test_helper.h"

namespace orvella {
namespace {

int64_t MonotonicMicros() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// Field 40 of a line: the feed's send stamp in microseconds.
template <typename Char>
int64_t SendStamp(std::basic_string_view<Char> line) {
    std::size_t pos = 0;
    for (int field = 0; field < 40; ++field) {
        pos = line.find(Char(','), pos);
        if (pos == std::basic_string_view<Char>::npos) {
            return -1;
        }
        ++pos;
    }
    int64_t stamp = 0;
    for (; pos < line.size() && line[pos] >= Char('0') && line[pos] <= Char('9'); ++pos) {
        stamp = stamp * 10 + (line[pos] - Char('0'));
    }
    return stamp;
}

// Owner of the plug-in path: hands each chunk to the level-one data object
// and samples the delay of the last line completed in the chunk, after its
// rows were delivered.
struct CPlugInPath {
    CLevelOneData* data = nullptr;
    long lines = 0;
    bool sampling = false;
    std::vector<int64_t> delays;

    void OnLevelOneBytes(std::string_view chunk) {
        data->OnLevelOneBytes(chunk);
        lines += std::count(chunk.begin(), chunk.end(), '\n');
        if (!sampling) {
            return;
        }
        const std::size_t last = chunk.rfind('\n');
        if (last == std::string_view::npos || last == 0) {
            return;
        }
        const std::size_t begin = chunk.rfind('\n', last - 1);
        if (begin == std::string_view::npos) {
            return;
        }
        const std::string_view line = chunk.substr(begin + 1, last - begin - 1);
        const int64_t stamp = SendStamp(line);
        if (stamp > 0 && line[0] == 'Q') {
            delays.push_back(MonotonicMicros() - stamp);
        }
    }
};

// The baseline: receives bytes and splits each line into 62 fresh strings.
class CSplitOnlySocket : public platform::CAsyncSocket {
  public:
    long m_lines = 0;
    std::size_t m_checksum = 0;

  protected:
    void OnReceive(int error) override {
        const int n = Receive(m_buffer.data(), static_cast<int>(m_buffer.size()), 0);
        if (n <= 0) {
            return;
        }
        m_pending.append(m_buffer.data(), static_cast<std::size_t>(n));
        const std::size_t start =
            SplitOnlyLines(m_pending, [this](const std::vector<std::string>& fields) {
                m_checksum += fields[32].size();
                ++m_lines;
            });
        m_pending.erase(0, start);
    }

  private:
    std::vector<char> m_buffer = std::vector<char>(131071);
    std::string m_pending;
};

void PumpFor(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    platform::Message msg;
    while (std::chrono::steady_clock::now() < end) {
        if (platform::WaitMessage(&msg, 5) == platform::WaitResult::kMessage) {
            platform::DispatchMessage(msg);
        }
    }
}

// The feed at the given rate (updates per second per symbol, or "max"),
// on free ports, its clock inside a trading session.
bool StartSim(testing::CFeedSim& sim, const std::string& dir, const std::string& program,
              const std::string& rate) {
    testing::CFeedSimOptions options;
    options.adminPort = 0;
    options.log = "none";
    options.options = {"--update-rate", rate,    "--max-symbols",
                       "500",           "--now", "2024-03-06 11:00:00"};
    options.program = program;
    return sim.Start(dir, options);
}

std::string WatchCommands() {
    std::string commands;
    for (int i = 0; i < kBenchSymbols; ++i) {
        commands += "w" + BenchSymbol(i) + "\r\n";
    }
    return commands;
}

// Runs the plug-in path against a fresh simulator; returns lines/s.
double RunPlugIn(const std::string& dir, const std::string& program, const std::string& rate,
                 double seconds, std::vector<int64_t>* delays) {
    testing::CFeedSim sim;
    if (!StartSim(sim, dir, program, rate)) {
        return 0.0;
    }
    CCountingHostFeed feed;
    SetHostFeed(&feed);
    CLevelOneData data;
    CLevelOneTestHelper::ShortenWaits(data, 0, 0);
    for (int i = 0; i < kBenchSymbols; ++i) {
        data.WatchSymbol(platform::WidenText(BenchSymbol(i)), 5.0f);
    }
    CPlugInPath path;
    path.data = &data;
    CCorvanSocket<CPlugInPath*> socket;
    socket.SetOwner(&path);
    socket.Open(sim.level1);
    PumpFor(0.3);
    const std::string commands = WatchCommands();
    socket.Send(commands.data(), static_cast<int>(commands.size()), 0);
    PumpFor(1.0);  // summaries and the first burst
    const long startLines = path.lines;
    const long startRows = feed.m_rows;
    path.sampling = delays != nullptr;
    const auto begin = std::chrono::steady_clock::now();
    PumpFor(seconds);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const long lines = path.lines - startLines;
    std::printf("  plug-in path: %ld lines, %ld rows in %.2f s\n", lines, feed.m_rows - startRows,
                elapsed);
    if (delays != nullptr) {
        *delays = path.delays;
    }
    socket.Close();
    SetHostFeed(nullptr);
    return static_cast<double>(lines) / elapsed;
}

double RunBaseline(const std::string& dir, const std::string& program, double seconds) {
    testing::CFeedSim sim;
    if (!StartSim(sim, dir, program, "max")) {
        return 0.0;
    }
    CSplitOnlySocket socket;
    socket.Create(platform::kSocketEventRead | platform::kSocketEventConnect |
                  platform::kSocketEventClose);
    socket.SetReceiveBufferSize(kLevelOneBufferSize);
    socket.Connect("127.0.0.1", sim.level1);
    PumpFor(0.3);
    const std::string commands = WatchCommands();
    socket.Send(commands.data(), static_cast<int>(commands.size()), 0);
    PumpFor(1.0);
    const long start = socket.m_lines;
    const auto begin = std::chrono::steady_clock::now();
    PumpFor(seconds);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const long lines = socket.m_lines - start;
    std::printf("  split-only baseline: %ld lines in %.2f s\n", lines, elapsed);
    socket.Close();
    return static_cast<double>(lines) / elapsed;
}

double Percentile(std::vector<int64_t> values, double p) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t index = std::min(
        values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size())));
    return static_cast<double>(values[index]) / 1000.0;
}

}  // namespace
}  // namespace orvella

constexpr char kUsage[] =
    "Usage: levelone_stream_bench PATH_TO_orvella-feed-sim [SECONDS]\n"
    "The plug-in's socket and CLevelOneData on the stream of orvella-feed-sim for\n"
    "500 symbols, beside a split-only connection; SECONDS per phase (5).\n";

int main(int argc, char** argv) {
    const orvella::cli::CProgram self{"levelone_stream_bench", kUsage};
    for (int i = 1; i < argc; ++i) {
        if (const int code = orvella::cli::AnswerStandardOption(self, argv[i]); code >= 0)
            return code;
        if (orvella::cli::IsOption(argv[i]))
            return orvella::cli::RefuseOption(self, argv[i]);
    }
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return orvella::cli::kExitUnknownOption;
    }
    const std::string program = argv[1];
    const orvella::testing::CPrivateEnvironment env(orvella::testing::Launcher::kNone);
    const double seconds = argc > 2 ? std::atof(argv[2]) : 5.0;
    platform::InitSockets();
    orvella::Globals().historyInProgress = 0;

    std::printf("feed at its maximum rate, %d watched symbols, 5-minute bars:\n",
                orvella::kBenchSymbols);
    const double plugIn = orvella::RunPlugIn(env.Dir(), program, "max", seconds, nullptr);
    const double baseline = orvella::RunBaseline(env.Dir(), program, seconds);
    std::printf("plug-in path %.0f lines/s, split-only baseline %.0f lines/s, ratio %.2f\n", plugIn,
                baseline, plugIn / baseline);

    // 40 updates per second for each of 500 symbols: 20,000 lines/s.
    std::printf("feed at 20,000 lines/s:\n");
    std::vector<int64_t> delays;
    const double paced = orvella::RunPlugIn(env.Dir(), program, "40", seconds, &delays);
    std::printf(
        "paced %.0f lines/s; delay send to row: median %.3f ms, 99th percentile %.3f ms "
        "(%zu samples)\n",
        paced, orvella::Percentile(delays, 0.5), orvella::Percentile(delays, 0.99), delays.size());
    return 0;
}
