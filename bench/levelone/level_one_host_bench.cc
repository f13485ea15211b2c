// Streaming through the stand-in host's program: nst-host logs in, requests
// N symbols at 5-minute bars (one history line each) and handles messages
// for S seconds while orvella-feed-sim streams their updates at its maximum
// rate, so the host's thread is busy with the stream from the first watch to
// the end; prints the rows streamed (the host's summary) per second of the
// whole run. With ORVELLA_WINDOWS_BIN set, the host and the plug-in are the
// Windows build's under wine (testing/programs.h); run it both ways on the
// same machine for the ratio. Takes the fixed admin port 9300 of the login
// (run it in a network namespace of its own).
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
    "nst-host streams SYMBOLS symbols (5) at 5-minute bars for SECONDS (10) with\n"
    "orvella-feed-sim at its maximum rate; prints the rows streamed per second.\n"
    "With ORVELLA_WINDOWS_BIN set, the Windows host under wine.\n";

}  // namespace

int main(int argc, char** argv) {
    const orvella::cli::CProgram program{"levelone_host_bench", kUsage};
    if (const int code = orvella::cli::AnswerNumberOperands(program, argc, argv); code >= 0)
        return code;
    const int symbols = argc > 1 ? std::atoi(argv[1]) : 5;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;
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

    std::vector<std::string> commands = {"credentials user secret"};
    for (int i = 0; i < symbols; ++i) {
        char symbol[16];
        std::snprintf(symbol, sizeof symbol, "SYM%03d", i);
        commands.push_back(std::string("request ") + symbol + " 5 2024-03-06");
    }
    commands.push_back("pump " + std::to_string(seconds));
    const auto begin = std::chrono::steady_clock::now();
    const int status = WaitExit(StartHost(env, commands, {"--count-only"}), (seconds + 300) * 1000);
    const double total =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();

    // "series SYM000 -5.0: ... N rows (H history, S streamed)"
    long streamed = 0;
    int series = 0;
    for (const std::string& line : ReadLines(env.Dir() + "/host.out")) {
        const size_t at = line.find(" history, ");
        if (line.rfind("series ", 0) == 0 && at != std::string::npos) {
            streamed += std::atol(line.c_str() + at + 10);
            ++series;
        }
    }
    std::printf(
        "%s: %d series, %ld rows streamed in %.2f s (login, loads, %d s pump): %.0f rows/s\n",
        ChosenPrograms().windows ? "Windows host under wine" : "nst-host", series, streamed, total,
        seconds, static_cast<double>(streamed) / total);
    return status == 0 && series == symbols ? 0 : 1;
}
