// End-to-end level-one streaming: the shipped plug-in, loaded the way
// nst-host loads it (CHostSession over libNSTFeed, rows counted only), gets
// credentials, requests 500 (or 5,000) symbols at 5-minute bars and then
// streams what
// orvella-feed-sim sends for them. Beside it, in the same run, a baseline
// receives the same stream over loopback and only splits every line into 62
// std::string fields.
//
//   levelone_e2e_bench [--phase PHASE]... [SECONDS [ROUNDS [SYMBOLS]]]
//   (default 4 s, 3 rounds, 500, all four phases)
//
// Each round runs four phases (or those --phase names), each in a child
// process with its own feed:
// baseline and plug-in with the feed at its maximum rate (update lines/s
// passed to the receiver), then baseline and plug-in with the feed at 20,000
// lines/s in all (40 updates/s per symbol of 500; delay from the feed's
// send stamp to the row reaching the host library, or to the end of the
// baseline's split). The stream runs through a relay (bench/levelone/
// stamp_relay.h) for both receivers alike: it counts the lines and, in both
// paced phases, remembers each trade line's stamp and price per symbol, so
// that after the plug-in's phase the n-th streamed row of a symbol is matched
// with its n-th trade line; the price of every matched row is checked against
// its line. The targets are printed with the figures, and the program exits
// with 1 when one is missed.
// In the maximum-rate phase the relay holds the plug-in's stream back while
// the series are set up. The feed's admin port is a free one, named to
// the launcher's running check through ORVELLA_FEED_SIM_ARGS.
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench/levelone/level_one_bench_lines.h"
#include "bench/levelone/stamp_relay.h"
#include "cli/command_line.h"
#include "host/feed_store.h"
#include "host/host_session.h"
#include "host/script.h"
#include "platform/message_box.h"
#include "platform/message_queue.h"
#include "testing/feed_sim.h"
#include "testing/loopback.h"
#include "testing/private_environment.h"
#include "testing/process.h"

namespace orvella {
namespace {

// Inside the regular session of a Wednesday, so every trade line is a trade
// the plug-in delivers.
constexpr char kFeedNow[] = "2024-03-06T11:00:00";
constexpr int kPacedLinesPerSecond = 20000;
constexpr double kWarmUpSeconds = 1.0;

// The watched symbols of this run (the command line's third operand), set
// before the first phase.
int g_nSymbols = kBenchSymbols;

// Targets: update lines per second at the feed's maximum rate, absolute and
// against the split-only baseline; 99th percentile of the delay at 20,000
// lines/s, absolute and against the baseline's. A whole symbol list must not
// slow a line down: its targets are the stricter.
struct CTargets {
    double linesPerSecond;
    double throughputRatio;
    double p99Ms;
    double p99Ratio;
};

CTargets TargetsFor(int symbols) {
    if (symbols >= kBenchSymbolsLarge) {
        return CTargets{2000000.0, 1.5, 2.0, 1.2};
    }
    return CTargets{1500000.0, 0.9, 1.0, 1.2};
}

enum class Phase { kBaselineMax, kPlugInMax, kBaselinePaced, kPlugInPaced };

const char* PhaseName(Phase phase) {
    switch (phase) {
        case Phase::kBaselineMax:
            return "split-only baseline, feed at max";
        case Phase::kPlugInMax:
            return "plug-in in the host, feed at max";
        case Phase::kBaselinePaced:
            return "split-only baseline, 20,000 lines/s";
        case Phase::kPlugInPaced:
            return "plug-in in the host, 20,000 lines/s";
    }
    return "";
}

bool IsPlugIn(Phase phase) {
    return phase == Phase::kPlugInMax || phase == Phase::kPlugInPaced;
}

bool IsPaced(Phase phase) {
    return phase == Phase::kBaselinePaced || phase == Phase::kPlugInPaced;
}

// What a phase reports to the parent through a pipe.
struct CPhaseResult {
    int ok = 0;
    double linesPerSecond = 0;
    // Lines per second of the receiving thread's CPU time.
    double linesPerCpuSecond = 0;
    double rowsPerSecond = 0;
    double setupSeconds = 0;
    double medianMs = 0;
    double p99Ms = 0;
    int64_t samples = 0;
    int64_t unmatched = 0;
    int64_t priceMismatches = 0;
    int64_t historyRows = 0;
    int64_t linesInHistory = 0;
    int announced = 0;
    int boxes = 0;
};

double ThreadCpuSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double PercentileMs(std::vector<int64_t>& values, double p) {
    if (values.empty()) {
        return 0.0;
    }
    const size_t index =
        std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index),
                     values.end());
    return static_cast<double>(values[index]) / 1000.0;
}

// Starts orvella-feed-sim on free ports, with its pid file where the
// launcher looks for a running feed client.
bool StartSim(testing::CFeedSim& sim, const testing::CPrivateEnvironment& env, Phase phase) {
    testing::CFeedSimOptions options;
    options.adminPort = 0;
    options.log = "none";
    const std::string pacedRate = std::to_string(kPacedLinesPerSecond / g_nSymbols);
    options.options = {"--update-rate",   IsPaced(phase) ? pacedRate : "max",
                       "--max-symbols",   std::to_string(g_nSymbols),
                       "--history-lines", "1",
                       "--now",           kFeedNow};
    return sim.Start(env, options);
}

// The host's view of the rows: counts them and, in the paced phase, notes
// each streamed row's symbol, price and time of arrival. The rows are matched
// with their trade lines after the phase (Match), so that the matching's
// lookups and the relay's lock do not lengthen the delays they measure.
class CRowClock : public nsthost::CFeedObserver {
  public:
    struct CSeenRow {
        int symbol;
        double price;
        int64_t micros;
    };

    explicit CRowClock(CStampRelay* relay) : m_relay(relay) {}

    // A request's history rows come between its announcement and its 100
    // percent; streamed lines are held meanwhile.
    void OnSetupData(const char*, const char*, float, int, const char*, double) override {
        ++m_announced;
        m_inHistory = true;
    }
    void OnUpdatePercent(int percent) override {
        if (percent == 100) {
            m_inHistory = false;
        }
    }
    void OnSetValue(const char*, float, int column, double value) override {
        if (column == 2) {
            m_price = value;
        }
    }
    void OnCommitRow(const char* symbol, float) override {
        ++m_rows;
        if (!m_match || m_inHistory) {
            return;
        }
        // Bench symbols are SYMnnn.
        const CSeenRow row{std::atoi(symbol + 3), m_price, MonotonicMicros()};
        if (m_seenCount < m_seen.size()) {
            m_seen[m_seenCount] = row;
        } else {
            m_seen.push_back(row);
        }
        ++m_seenCount;
    }

    // Makes room for count rows, written now, so that neither a reallocation
    // nor the first touch of a fresh page falls into the measured window.
    void MakeRoom(size_t count) { m_seen.resize(count); }

    // Pairs the noted rows of each symbol, in order, with its trade lines;
    // the delays of the rows that arrived in the measured window, of lines
    // sent in it, are kept. While the charts load, a streaming bar chart's
    // last bar comes from its trades after the load's 100 percent, and a held
    // line that bar already had gives no row: so a row of the set-up takes
    // the first of the next few lines with its price that was sent before it
    // came, the lines it passes count as charted by the history, and a row
    // with none is a history row.
    void Match(int64_t windowEnd) {
        constexpr size_t kLookAhead = 4;
        for (size_t i = 0; i < m_seenCount; ++i) {
            const CSeenRow& row = m_seen[i];
            const std::string symbol = BenchSymbol(row.symbol);
            CTradeStamp trade;
            if (row.micros < m_windowStart) {
                size_t ahead = 0;
                while (ahead < kLookAhead && m_relay->PeekTrade(symbol, ahead, &trade) &&
                       !(std::abs(trade.price - row.price) <= 1e-6 &&
                         row.micros >= trade.sentMicros)) {
                    ++ahead;
                }
                if (ahead == kLookAhead || !m_relay->PeekTrade(symbol, ahead, &trade)) {
                    ++m_historyRows;
                    continue;
                }
                m_linesInHistory += static_cast<int64_t>(ahead);
                for (size_t k = 0; k <= ahead; ++k) {
                    m_relay->PopTrade(symbol, &trade);
                }
                continue;
            }
            if (!m_relay->PopTrade(symbol, &trade)) {
                ++m_unmatched;
                continue;
            }
            if (std::abs(trade.price - row.price) > 1e-6) {
                ++m_priceMismatches;
            }
            if (row.micros <= windowEnd && trade.sentMicros >= m_windowStart) {
                m_delays.push_back(row.micros - trade.sentMicros);
            }
        }
    }

    CStampRelay* m_relay;
    bool m_match = false;
    bool m_inHistory = false;
    int64_t m_windowStart = 0;
    int64_t m_rows = 0;
    int64_t m_unmatched = 0;
    int64_t m_priceMismatches = 0;
    int64_t m_historyRows = 0;
    int64_t m_linesInHistory = 0;
    int m_announced = 0;
    double m_price = 0.0;
    std::vector<CSeenRow> m_seen;
    size_t m_seenCount = 0;
    std::vector<int64_t> m_delays;
};

// A desktop host's thread gets messages of its own all the time (input,
// paint, timers). While the stream is held during the set-up nothing else
// would wake the plug-in's history wait, which only looks at the end of a
// load when a message arrives (or after its 500 ms wake-up), so the set-up
// posts the host thread a no-op message every 5 ms as such a host would.
class CUiTicks {
  public:
    CUiTicks() : m_host(platform::CurrentThreadId()) {
        m_thread = std::thread([this] {
            while (!m_stop) {
                platform::PostThreadMessage(m_host, platform::kUserMessage, 0, 0);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~CUiTicks() {
        m_stop = true;
        m_thread.join();
    }

  private:
    platform::ThreadId m_host;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

void CountBox(const std::wstring&, const std::wstring&, unsigned, void* context) {
    ++*static_cast<int*>(context);
}

bool RunCommand(nsthost::CHostSession& session, const std::string& line) {
    nsthost::ScriptCommand command;
    std::string error;
    if (nsthost::ParseScriptLine(line, &command, &error) != nsthost::LineResult::kCommand ||
        session.Run(command, &error) != nsthost::RunResult::kOk) {
        std::fprintf(stderr, "%s: %s\n", line.c_str(), error.c_str());
        return false;
    }
    return true;
}

CPhaseResult RunPlugIn(Phase phase, const testing::CPrivateEnvironment& env,
                       const testing::CFeedSim& sim, CStampRelay& relay, double seconds) {
    CPhaseResult result;
    env.WritePorts(sim.lookup, relay.Port());
    testing::CPluginSettings settings;
    settings.streaming = true;
    settings.logging = false;
    env.WriteSettings(settings);
    // The launcher's running check connects to this feed's admin port. The
    // plug-in's own login goes to the fixed port 9300, which this run leaves
    // to others: with nothing listening there the login waits out its bound
    // (30 seconds, part of the set-up time) and the credentials apply as after
    // a login.
    setenv("ORVELLA_FEED_SIM_ARGS", ("--admin-port " + std::to_string(sim.admin)).c_str(), 1);

    CRowClock clock(&relay);
    clock.m_match = IsPaced(phase);
    if (clock.m_match) {
        // Room for the rows of the set-up (about 30 s), the warm-up and the
        // window.
        clock.MakeRoom(
            static_cast<size_t>((64.0 + kWarmUpSeconds + seconds) * kPacedLinesPerSecond));
    }
    nsthost::CFeedStore& store = nsthost::FeedStore();
    store.SetKeepRows(false);
    // At the feed's maximum only the rows are counted, from the series after
    // the window: an observer would make every host call take the library's
    // lock, which a host without one does not.
    if (clock.m_match) {
        store.SetObserver(&clock);
    }
    const auto rowsNow = [&store, &clock]() -> int64_t {
        if (clock.m_match) {
            return clock.m_rows;
        }
        uint64_t rows = 0;
        store.ForEachSeries([&rows](const nsthost::CSeries& series) { rows += series.RowCount(); });
        return static_cast<int64_t>(rows);
    };
    const auto announcedNow = [&store, &clock]() {
        if (clock.m_match) {
            return clock.m_announced;
        }
        int announced = 0;
        store.ForEachSeries(
            [&announced](const nsthost::CSeries& series) { announced += series.Announcements(); });
        return announced;
    };
    platform::SetMessageBoxObserver(CountBox, &result.boxes);
    const std::string& plugin = env.Programs().plugin;
    nsthost::CHostSession session(nullptr, plugin);
    std::string error;
    if (!session.Load(plugin, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return result;
    }
    session.DrainMessages();
    const auto setup = std::chrono::steady_clock::now();
    bool ran;
    {
        CUiTicks ticks;
        ran = RunCommand(session, "credentials user secret");
        for (int i = 0; ran && i < g_nSymbols; ++i) {
            ran = RunCommand(session, "request " + BenchSymbol(i) + " 5 2024-03-06");
        }
    }
    result.setupSeconds = Seconds(setup);
    relay.Release();
    session.PumpFor(kWarmUpSeconds);

    const int64_t lines = relay.Lines();
    const int64_t rows = rowsNow();
    clock.m_windowStart = MonotonicMicros();
    const auto begin = std::chrono::steady_clock::now();
    const double cpu = ThreadCpuSeconds();
    session.PumpFor(seconds);
    const double elapsed = Seconds(begin);
    const int64_t windowEnd = MonotonicMicros();
    result.linesPerSecond = static_cast<double>(relay.Lines() - lines) / elapsed;
    result.linesPerCpuSecond =
        static_cast<double>(relay.Lines() - lines) / (ThreadCpuSeconds() - cpu);
    result.rowsPerSecond = static_cast<double>(rowsNow() - rows) / elapsed;
    const int announced = announcedNow();
    session.Unload();
    store.SetObserver(nullptr);
    clock.Match(windowEnd);
    platform::SetMessageBoxObserver(nullptr, nullptr);

    result.samples = static_cast<int64_t>(clock.m_delays.size());
    result.medianMs = PercentileMs(clock.m_delays, 0.5);
    result.p99Ms = PercentileMs(clock.m_delays, 0.99);
    result.unmatched = clock.m_unmatched;
    result.priceMismatches = clock.m_priceMismatches;
    result.historyRows = clock.m_historyRows;
    result.linesInHistory = clock.m_linesInHistory;
    result.announced = announced;
    result.ok = ran && announced == g_nSymbols ? 1 : 0;
    return result;
}

// Receives the stream and splits every line into 62 fresh strings; in the
// paced phase the delay of every trade line is taken after its split.
CPhaseResult RunBaseline(Phase phase, CStampRelay& relay, double seconds) {
    CPhaseResult result;
    const int fd = testing::ConnectLoopback(relay.Port());
    if (fd < 0) {
        return result;
    }
    std::string watches;
    for (int i = 0; i < g_nSymbols; ++i) {
        watches += "w" + BenchSymbol(i) + "\r\n";
    }
    send(fd, watches.data(), watches.size(), MSG_NOSIGNAL);

    std::vector<char> buffer(131071);
    std::string pending;
    std::vector<int64_t> delays;
    size_t checksum = 0;
    int64_t lines = 0;
    int64_t windowStart = 0;
    const auto start = std::chrono::steady_clock::now();
    auto begin = start;
    double cpu = 0.0;
    bool sampling = false;
    for (;;) {
        const double since = Seconds(start);
        if (!sampling && since >= kWarmUpSeconds) {
            sampling = true;
            begin = std::chrono::steady_clock::now();
            windowStart = MonotonicMicros();
            lines = relay.Lines();
            cpu = ThreadCpuSeconds();
        }
        if (sampling && Seconds(begin) >= seconds) {
            break;
        }
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, 20) <= 0) {
            continue;
        }
        const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) {
            break;
        }
        pending.append(buffer.data(), static_cast<size_t>(n));
        const size_t from = SplitOnlyLines(pending, [&](const std::vector<std::string>& fields) {
            checksum += fields[32].size();
            if (sampling && IsPaced(phase) && fields[0] == "Q" &&
                fields[17].find_first_of("tT") != std::string::npos) {
                int64_t stamp = 0;
                std::from_chars(fields[40].data(), fields[40].data() + fields[40].size(), stamp);
                if (stamp >= windowStart) {
                    delays.push_back(MonotonicMicros() - stamp);
                }
            }
        });
        pending.erase(0, from);
    }
    const double elapsed = Seconds(begin);
    result.linesPerSecond = static_cast<double>(relay.Lines() - lines) / elapsed;
    result.linesPerCpuSecond =
        static_cast<double>(relay.Lines() - lines) / (ThreadCpuSeconds() - cpu);
    close(fd);
    result.samples = static_cast<int64_t>(delays.size());
    result.medianMs = PercentileMs(delays, 0.5);
    result.p99Ms = PercentileMs(delays, 0.99);
    result.ok = checksum > 0 ? 1 : 0;
    return result;
}

CPhaseResult RunPhaseHere(Phase phase, const testing::CPrivateEnvironment& env, double seconds) {
    CPhaseResult result;
    testing::CFeedSim sim;
    if (!StartSim(sim, env, phase)) {
        std::fprintf(stderr, "orvella-feed-sim did not start\n");
        return result;
    }
    // At the feed's maximum rate, with two processors or more, the feed and
    // the relay run on one and the receiver on another, for both receivers
    // alike: sharing a processor with them, the receiver found its lines out
    // of the cache after each switch, and where the scheduler put it decided
    // a round's figure. The paced phases are left to the scheduler: there
    // the feed and the relay on one processor delay each other's lines.
    const std::vector<int> processors = testing::AllowedProcessors();
    const bool pinned = !IsPaced(phase) && processors.size() >= 2 &&
                        testing::PinToProcessor(sim.Pid(), processors[0]) &&
                        testing::PinToProcessor(0, processors[0]);
    CStampRelay relay;
    // Under a stream at the feed's maximum rate a request can take up to two
    // seconds (see docs/performance.md), so there the plug-in's stream starts
    // when its 500 series are in place.
    // The relay notes the trade lines' stamps in both paced phases, so that
    // its work weighs on both receivers alike; only the plug-in's rows use
    // them.
    if (relay.Start(static_cast<uint16_t>(sim.level1), IsPaced(phase),
                    phase == Phase::kPlugInMax)) {
        // The relay's thread stays where it started.
        if (pinned) {
            testing::PinToProcessor(0, processors[1]);
        }
        result = IsPlugIn(phase) ? RunPlugIn(phase, env, sim, relay, seconds)
                                 : RunBaseline(phase, relay, seconds);
        relay.Stop();
    }
    return result;
}

// Runs a phase in a child process, so that every plug-in run starts from a
// freshly loaded library with a new level-one connection.
CPhaseResult RunPhase(Phase phase, const testing::CPrivateEnvironment& env, double seconds) {
    int fds[2];
    if (pipe(fds) != 0) {
        return CPhaseResult();
    }
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const CPhaseResult result = RunPhaseHere(phase, env, seconds);
        const ssize_t written = write(fds[1], &result, sizeof result);
        _exit(written == sizeof result ? 0 : 1);
    }
    close(fds[1]);
    CPhaseResult result;
    if (read(fds[0], &result, sizeof result) != sizeof result) {
        result = CPhaseResult();
    }
    close(fds[0]);
    waitpid(child, nullptr, 0);
    return result;
}

constexpr char kUsage[] =
    "Usage: levelone_e2e_bench [--phase PHASE]... [SECONDS [ROUNDS [SYMBOLS]]]\n"
    "The shipped plug-in in the stand-in host against orvella-feed-sim, beside a\n"
    "split-only client: lines/s at the feed's maximum rate and the delay from the\n"
    "feed's send to NSTCOMMITROW at 20,000 lines/s. SECONDS per phase (4), ROUNDS\n"
    "(3), SYMBOLS watched (500; 5000 for a whole symbol list). Exit 1 when a\n"
    "target is missed.\n"
    "  --phase PHASE  run only the named phases of each round (repeatable):\n"
    "                 baseline-max, plugin-max, baseline-paced, plugin-paced, or\n"
    "                 max and paced for both of a rate; all four by default. A\n"
    "                 target is judged only when the phases it compares ran.\n";

// The phases a --phase name stands for, as bits of 1 << Phase; 0 for an
// unknown name.
unsigned PhaseBits(std::string_view name) {
    const auto bit = [](Phase phase) { return 1u << static_cast<int>(phase); };
    if (name == "baseline-max") {
        return bit(Phase::kBaselineMax);
    }
    if (name == "plugin-max") {
        return bit(Phase::kPlugInMax);
    }
    if (name == "baseline-paced") {
        return bit(Phase::kBaselinePaced);
    }
    if (name == "plugin-paced") {
        return bit(Phase::kPlugInPaced);
    }
    if (name == "max") {
        return bit(Phase::kBaselineMax) | bit(Phase::kPlugInMax);
    }
    if (name == "paced") {
        return bit(Phase::kBaselinePaced) | bit(Phase::kPlugInPaced);
    }
    return 0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

}  // namespace
}  // namespace orvella

int main(int argc, char** argv) {
    using namespace orvella;
    const cli::CProgram program{"levelone_e2e_bench", kUsage};
    unsigned chosen = 0;
    std::vector<const char*> operands;
    for (int i = 1; i < argc; ++i) {
        if (const int code = cli::AnswerStandardOption(program, argv[i]); code >= 0)
            return code;
        if (std::string_view(argv[i]) == "--phase") {
            const unsigned bits = i + 1 < argc ? PhaseBits(argv[i + 1]) : 0;
            if (bits == 0) {
                std::fprintf(stderr, "levelone_e2e_bench: --phase needs one of the names below\n");
                std::fputs(kUsage, stderr);
                return cli::kExitUnknownOption;
            }
            chosen |= bits;
            ++i;
            continue;
        }
        if (!std::isdigit(static_cast<unsigned char>(argv[i][0])))
            return cli::RefuseOption(program, argv[i]);
        operands.push_back(argv[i]);
    }
    const auto operand = [&](size_t index) {
        return index < operands.size() ? operands[index] : nullptr;
    };
    const double seconds = operand(0) != nullptr ? std::atof(operand(0)) : 4.0;
    const int rounds = operand(1) != nullptr ? std::atoi(operand(1)) : 3;
    g_nSymbols = operand(2) != nullptr ? std::atoi(operand(2)) : kBenchSymbols;
    if (seconds <= 0 || rounds <= 0 || g_nSymbols <= 0 || g_nSymbols > kPacedLinesPerSecond ||
        operands.size() > 3) {
        std::fputs(kUsage, stderr);
        return cli::kExitUnknownOption;
    }
    const unsigned phases = chosen != 0 ? chosen : 0xFu;
    const auto runs = [phases](Phase phase) {
        return (phases & (1u << static_cast<int>(phase))) != 0;
    };
    const CTargets targets = TargetsFor(g_nSymbols);
    // A private registry, home and runtime folder; Orvalink.exe from the build.
    const testing::CPrivateEnvironment env(testing::Launcher::kBuild);

    std::printf("%d symbols at 5-minute bars, %.1f s per phase, %d rounds\n", g_nSymbols, seconds,
                rounds);
    std::vector<double> throughputRatios, cpuRatios, plugInRates, baselineRates, p99s, medians,
        p99Ratios;
    bool sound = true;
    int counted = 0;
    for (int round = 1; round <= rounds; ++round) {
        CPhaseResult results[4];
        bool roundOk = true;
        for (Phase phase :
             {Phase::kBaselineMax, Phase::kPlugInMax, Phase::kBaselinePaced, Phase::kPlugInPaced}) {
            if (!runs(phase)) {
                continue;
            }
            CPhaseResult& r = results[static_cast<int>(phase)];
            r = RunPhase(phase, env, seconds);
            std::printf("round %d, %-38s %9.0f lines/s (%9.0f per CPU second)", round,
                        PhaseName(phase), r.linesPerSecond, r.linesPerCpuSecond);
            if (IsPlugIn(phase)) {
                std::printf(", %9.0f rows/s, setup %.1f s", r.rowsPerSecond, r.setupSeconds);
            }
            if (IsPaced(phase)) {
                std::printf(", delay median %.3f ms, p99 %.3f ms (%lld samples)", r.medianMs,
                            r.p99Ms, static_cast<long long>(r.samples));
            }
            if (phase == Phase::kPlugInPaced) {
                std::printf(
                    ", %lld unmatched, %lld price mismatches; set-up: %lld last-bar rows, "
                    "%lld held lines the history had",
                    static_cast<long long>(r.unmatched), static_cast<long long>(r.priceMismatches),
                    static_cast<long long>(r.historyRows),
                    static_cast<long long>(r.linesInHistory));
                sound = sound && r.unmatched == 0 && r.priceMismatches == 0;
            }
            if (r.boxes > 0) {
                std::printf(", %d message boxes", r.boxes);
            }
            std::printf("%s\n", r.ok != 0 ? "" : "  FAILED");
            std::fflush(stdout);
            sound = sound && r.ok != 0 && r.boxes == 0;
            roundOk = roundOk && r.ok != 0;
            // The delay is that of the paced rate only if the feed kept it up.
            if (IsPaced(phase) && r.ok != 0 && r.linesPerSecond < 0.9 * kPacedLinesPerSecond) {
                std::printf("round %d: the feed sent %.0f lines/s, not %d: delays not counted\n",
                            round, r.linesPerSecond, kPacedLinesPerSecond);
                sound = false;
            }
        }
        if (!roundOk) {
            continue;  // a failed phase is reported above and left out of the medians
        }
        ++counted;
        const CPhaseResult& base = results[static_cast<int>(Phase::kBaselineMax)];
        const CPhaseResult& plug = results[static_cast<int>(Phase::kPlugInMax)];
        const CPhaseResult& basePaced = results[static_cast<int>(Phase::kBaselinePaced)];
        const CPhaseResult& plugPaced = results[static_cast<int>(Phase::kPlugInPaced)];
        if (runs(Phase::kPlugInMax)) {
            plugInRates.push_back(plug.linesPerSecond);
        }
        if (runs(Phase::kBaselineMax)) {
            baselineRates.push_back(base.linesPerSecond);
        }
        if (runs(Phase::kPlugInMax) && runs(Phase::kBaselineMax)) {
            throughputRatios.push_back(
                base.linesPerSecond > 0 ? plug.linesPerSecond / base.linesPerSecond : 0.0);
            cpuRatios.push_back(
                base.linesPerCpuSecond > 0 ? plug.linesPerCpuSecond / base.linesPerCpuSecond : 0.0);
        }
        if (runs(Phase::kPlugInPaced)) {
            medians.push_back(plugPaced.medianMs);
            p99s.push_back(plugPaced.p99Ms);
        }
        if (runs(Phase::kPlugInPaced) && runs(Phase::kBaselinePaced)) {
            p99Ratios.push_back(basePaced.p99Ms > 0 ? plugPaced.p99Ms / basePaced.p99Ms : 0.0);
        }
    }
    const auto spread = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        char text[64];
        std::snprintf(text, sizeof text, "%.2f-%.2f", values.empty() ? 0.0 : values.front(),
                      values.empty() ? 0.0 : values.back());
        return std::string(text);
    };
    bool met = true;
    if (runs(Phase::kPlugInMax)) {
        const double rate = Median(plugInRates);
        const bool ratioJudged = runs(Phase::kBaselineMax);
        const double ratio = Median(throughputRatios);
        const bool throughputMet =
            rate >= targets.linesPerSecond && (!ratioJudged || ratio >= targets.throughputRatio);
        met = met && throughputMet;
        std::printf("median of %d rounds: plug-in %.0f lines/s", counted, rate);
        if (ratioJudged) {
            std::printf(", baseline %.0f lines/s, ratio %.2f (rounds %s)", Median(baselineRates),
                        ratio, spread(throughputRatios).c_str());
        }
        std::printf(" (target >= %.0f lines/s", targets.linesPerSecond);
        if (ratioJudged) {
            std::printf(" and >= %.2f", targets.throughputRatio);
        }
        std::printf("): %s", throughputMet ? "met" : "MISSED");
        if (ratioJudged) {
            std::printf("; per CPU second of the receiving thread %.2f (rounds %s)",
                        Median(cpuRatios), spread(cpuRatios).c_str());
        }
        std::printf("\n");
    }
    if (runs(Phase::kPlugInPaced)) {
        const double p99 = Median(p99s);
        const bool ratioJudged = runs(Phase::kBaselinePaced);
        const double p99Ratio = Median(p99Ratios);
        const bool delayMet = p99 < targets.p99Ms && (!ratioJudged || p99Ratio <= targets.p99Ratio);
        met = met && delayMet;
        std::printf(
            "median of %d rounds at 20,000 lines/s: delay median %.3f ms, p99 %.3f ms "
            "(rounds %s ms)",
            counted, Median(medians), p99, spread(p99s).c_str());
        if (ratioJudged) {
            std::printf(", %.2fx the baseline's p99 (rounds %s)", p99Ratio,
                        spread(p99Ratios).c_str());
        }
        std::printf(" (target p99 < %.1f ms", targets.p99Ms);
        if (ratioJudged) {
            std::printf(" and <= %.1fx", targets.p99Ratio);
        }
        std::printf("): %s\n", delayMet ? "met" : "MISSED");
    }
    return sound && counted == rounds && met ? 0 : 1;
}
