// Streaming through the stand-in host's program: nst-host logs in, requests
// N symbols at 5-minute bars (one history line each) and handles messages
// while orvella-feed-sim streams their updates at its maximum rate, so the
// host's thread is busy with the stream from the first watch to the end.
// The host runs twice, with a pump of 2 and of 2 + S seconds; the difference
// of the rows streamed (the host's summary) over S is its rate while it only
// streams, without its start, login and loads. With ORVELLA_WINDOWS_BIN set,
// the host and the plug-in are the Windows build's under wine
// (testing/programs.h), and the same run times the Windows baseline beside
// them: winsock_reader.exe --level-one (tests/win32), the split-only client
// under the same wine, which watches the same symbols and splits every line
// into 62 fresh strings for S seconds; its rows are the trade lines. The
// host's rate must be at least 0.8 times the client's. Takes the fixed admin
// port 9300 of the login (run it in a network namespace of its own).
//
//   level_one_host_bench [symbols [seconds]]     (default 5 10)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

constexpr double kLeadSeconds = 2.0;
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
    bool ok = false;
    long streamed = 0;
    double seconds = 0;  // the whole run
};

CStreamRun RunHostStream(const CPrivateEnvironment& env, int symbols, double pumpSeconds) {
    std::vector<std::string> commands = {"credentials user secret"};
    for (int i = 0; i < symbols; ++i) {
        commands.push_back("request " + Symbol(i) + " 5 2024-03-06");
    }
    commands.push_back("pump " + std::to_string(pumpSeconds));
    const auto begin = std::chrono::steady_clock::now();
    const int status = WaitExit(StartHost(env, commands, {"--count-only"}),
                                static_cast<int>(pumpSeconds + 300) * 1000);
    CStreamRun run;
    run.seconds = Seconds(begin);
    // "series SYM000 -5.0: ... N rows (H history, S streamed)"
    int series = 0;
    for (const std::string& line : ReadLines(env.Dir() + "/host.out")) {
        const size_t at = line.find(" history, ");
        if (line.rfind("series ", 0) == 0 && at != std::string::npos) {
            run.streamed += std::atol(line.c_str() + at + 10);
            ++series;
        }
    }
    run.ok = status == 0 && series == symbols;
    return run;
}

// The split-only client under the host's emulator: rows per second.
double RunWinsockClient(const CPrivateEnvironment& env, int level1, int symbols, double seconds) {
    std::vector<std::string> args = {"--level-one", std::to_string(level1),
                                     std::to_string(seconds)};
    for (int i = 0; i < symbols; ++i) {
        args.push_back(Symbol(i));
    }
    const std::string out = env.Dir() + "/winsock_client.out";
    if (WaitExit(StartBesideHost(env, "winsock_reader.exe", args, out),
                 static_cast<int>(seconds + 120) * 1000) != 0) {
        return 0;
    }
    long lines = 0, rows = 0;
    double elapsed = 0;
    std::sscanf(ReadWholeFile(out).c_str(), "lines %ld rows %ld seconds %lf", &lines, &rows,
                &elapsed);
    std::printf(
        "Winsock split-only client under wine: %ld lines, %ld rows in %.2f s: %.0f rows/s\n", lines,
        rows, elapsed, elapsed > 0 ? static_cast<double>(rows) / elapsed : 0.0);
    return elapsed > 0 ? static_cast<double>(rows) / elapsed : 0.0;
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
    env.WritePorts(sim.lookup, sim.level1);

    const char* host = windows ? "Windows host under wine" : "nst-host";
    const CStreamRun lead = RunHostStream(env, symbols, kLeadSeconds);
    const CStreamRun whole = RunHostStream(env, symbols, kLeadSeconds + seconds);
    const double rate = static_cast<double>(whole.streamed - lead.streamed) / seconds;
    std::printf("%s: %ld rows streamed in %.2f s (login, loads, %.0f s pump): %.0f rows/s\n", host,
                whole.streamed, whole.seconds, kLeadSeconds + seconds,
                static_cast<double>(whole.streamed) / whole.seconds);
    std::printf("%s: %ld rows more with %.0f s more pump: %.0f rows/s while streaming\n", host,
                whole.streamed - lead.streamed, seconds, rate);
    bool met = true;
    if (windows) {
        const double client = RunWinsockClient(env, sim.level1, symbols, seconds);
        const double ratio = client > 0 ? rate / client : 0.0;
        met = ratio >= kTargetRatio;
        std::printf("Windows host / Winsock client: %.2fx (target >= %.2fx): %s\n", ratio,
                    kTargetRatio, met ? "met" : "MISSED");
    }
    return lead.ok && whole.ok && met ? 0 : 1;
}
