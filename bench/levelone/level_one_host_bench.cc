// Streaming through the stand-in host's program: nst-host logs in, requests
// N symbols at 5-minute bars (one history line each) and handles messages
// while orvella-feed-sim streams their updates at its maximum rate, so the
// host's thread is busy with the stream from the first watch to the end.
// The stream runs through a relay (bench/levelone/stamp_relay.h) that counts
// the lines it hands on; sampled while the program runs, its count gives the
// rate over S seconds of the pump (those that end a second before the
// program's exit), without the start, login and loads. With
// ORVELLA_WINDOWS_BIN set, the host and the plug-in are the Windows build's
// under wine (testing/programs.h), and the same run times the Windows
// baseline beside them, through a relay of its own: winsock_reader.exe
// --level-one (tests/win32), the split-only client under the same wine,
// which watches the same symbols and splits every line into 62 fresh
// strings. Every trade line is one row on both sides (5-minute bars), so
// the ratio of the lines is that of the rows; the host's must be at least
// 0.8 times the client's. Takes the fixed admin port 9300 of the login (run
// it in a network namespace of its own).
//
//   level_one_host_bench [symbols [seconds]]     (default 5 10)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/levelone/stamp_relay.h"
#include "cli/command_line.h"
#include "testing/feed_sim.h"
#include "testing/host_run.h"
#include "testing/private_environment.h"
#include "testing/process.h"

using namespace orvella::testing;

namespace {

constexpr char kUsage[] =
    "Usage: levelone_host_bench [SYMBOLS [SECONDS]]\n"
    "nst-host streams SYMBOLS symbols (5) at 5-minute bars with orvella-feed-sim\n"
    "at its maximum rate; prints the rows streamed per second over SECONDS (10)\n"
    "of streaming alone. With ORVELLA_WINDOWS_BIN set, the Windows host under\n"
    "wine beside a Winsock split-only client; exit 1 below 0.8 times its rate.\n";

// The pump begins this long before the measured seconds, which end this
// long before the program's exit.
constexpr double kLeadSeconds = 3.0;
constexpr double kTailSeconds = 1.0;
constexpr double kTargetRatio = 0.8;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::string Symbol(int i) {
    char symbol[16];
    std::snprintf(symbol, sizeof symbol, "SYM%03d", i);
    return symbol;
}

struct CStreamRun {
    int status = -1;
    double linesPerSecond = 0;  // handed on by the relay in the measured seconds
    double seconds = 0;         // the whole run
};

// Samples the relay's line count every 20 ms until the program ends.
CStreamRun Measure(pid_t pid, const orvella::CStampRelay& relay, double seconds, int timeoutMs) {
    const auto begin = std::chrono::steady_clock::now();
    std::vector<std::pair<double, int64_t>> samples;
    while (!ProcessEnded(pid) && Seconds(begin) * 1000 < timeoutMs) {
        samples.emplace_back(Seconds(begin), relay.Lines());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    CStreamRun run;
    run.seconds = Seconds(begin);
    run.status = WaitExit(pid, 1000);
    const double to = run.seconds - kTailSeconds, from = to - seconds;
    const auto at = [&](double t) {
        int64_t lines = 0;
        for (const auto& [when, count] : samples) {
            if (when <= t) {
                lines = count;
            }
        }
        return lines;
    };
    run.linesPerSecond = from > 0 ? static_cast<double>(at(to) - at(from)) / seconds : 0.0;
    return run;
}

CStreamRun RunHostStream(const CPrivateEnvironment& env, const CFeedSim& sim, int symbols,
                         double seconds, long* streamed) {
    orvella::CStampRelay relay;
    if (!relay.Start(static_cast<uint16_t>(sim.level1), false, false)) {
        return CStreamRun();
    }
    env.WritePorts(sim.lookup, relay.Port());
    std::vector<std::string> commands = {"credentials user secret"};
    for (int i = 0; i < symbols; ++i) {
        commands.push_back("request " + Symbol(i) + " 5 2024-03-06");
    }
    commands.push_back("pump " + std::to_string(kLeadSeconds + seconds + kTailSeconds));
    CStreamRun run = Measure(StartHost(env, commands, {"--count-only"}), relay, seconds,
                             static_cast<int>(seconds + 300) * 1000);
    relay.Stop();
    // "series SYM000 -5.0: ... N rows (H history, S streamed)"
    int series = 0;
    for (const std::string& line : ReadLines(env.Dir() + "/host.out")) {
        const size_t at = line.find(" history, ");
        if (line.rfind("series ", 0) == 0 && at != std::string::npos) {
            *streamed += std::atol(line.c_str() + at + 10);
            ++series;
        }
    }
    if (series != symbols) {
        run.status = -1;
    }
    return run;
}

// The split-only client under the host's emulator, through a relay of its
// own.
CStreamRun RunWinsockClient(const CPrivateEnvironment& env, const CFeedSim& sim, int symbols,
                            double seconds) {
    orvella::CStampRelay relay;
    if (!relay.Start(static_cast<uint16_t>(sim.level1), false, false)) {
        return CStreamRun();
    }
    std::vector<std::string> args = {"--level-one", std::to_string(relay.Port()),
                                     std::to_string(kLeadSeconds + seconds + kTailSeconds)};
    for (int i = 0; i < symbols; ++i) {
        args.push_back(Symbol(i));
    }
    const std::string out = env.Dir() + "/winsock_client.out";
    const CStreamRun run = Measure(StartBesideHost(env, "winsock_reader.exe", args, out), relay,
                                   seconds, static_cast<int>(seconds + 120) * 1000);
    relay.Stop();
    long lines = 0, rows = 0;
    double elapsed = 0;
    std::sscanf(ReadWholeFile(out).c_str(), "lines %ld rows %ld seconds %lf", &lines, &rows,
                &elapsed);
    std::printf(
        "Winsock split-only client under wine: %.0f lines/s in the measured %.0f s; in all %ld "
        "lines, %ld of them trade lines (rows), in %.2f s from its first byte\n",
        run.linesPerSecond, seconds, lines, rows, elapsed);
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const orvella::cli::CProgram program{"levelone_host_bench", kUsage};
    if (const int code = orvella::cli::AnswerNumberOperands(program, argc, argv); code >= 0)
        return code;
    const int symbols = argc > 1 ? std::atoi(argv[1]) : 5;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 10;
    const bool windows = ChosenPrograms().windows;
    const CPrivateEnvironment env(Launcher::kBuild, ChosenPrograms());
    CFeedSim sim;
    CFeedSimOptions feed;
    feed.adminPort = 9300;
    feed.portWaitSeconds = 30;
    feed.log = "none";
    feed.options = {"--update-rate",   "max", "--max-symbols", std::to_string(symbols),
                    "--history-lines", "1",   "--now",         "2024-03-06T11:00:00"};
    if (!sim.Start(env, feed)) {
        std::fprintf(stderr, "orvella-feed-sim did not start (admin port 9300 taken?)\n");
        return 1;
    }
    CPluginSettings settings;
    settings.streaming = true;
    settings.logging = false;
    env.WriteSettings(settings);

    // The client runs first: it also starts the emulator's server, which
    // stays up for the host's run right after it.
    const CStreamRun client = windows ? RunWinsockClient(env, sim, symbols, seconds) : CStreamRun();
    long streamed = 0;
    const CStreamRun run = RunHostStream(env, sim, symbols, seconds, &streamed);
    std::printf(
        "%s: %.0f lines/s handed to it in the measured %.0f s of its pump; in all %ld rows "
        "streamed in %.2f s (login, loads, pump)\n",
        windows ? "Windows host under wine" : "nst-host", run.linesPerSecond, seconds, streamed,
        run.seconds);
    bool met = true;
    if (windows) {
        const double ratio =
            client.linesPerSecond > 0 ? run.linesPerSecond / client.linesPerSecond : 0.0;
        met = client.status == 0 && ratio >= kTargetRatio;
        std::printf("Windows host / Winsock client: %.2fx (target >= %.2fx): %s\n", ratio,
                    kTargetRatio, met ? "met" : "MISSED");
    }
    return run.status == 0 && met ? 0 : 1;
}
