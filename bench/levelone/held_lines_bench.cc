// Held level-one lines during a long history load: nst-host with the shipped
// plug-in logs in, opens a streaming chart and then loads a history of N
// lines (default 1000000) for a second chart while orvella-feed-sim streams
// the first chart's trades at its full rate, so that the lines held during
// the load reach their bound. The baseline in the same run is the same load
// with the feed streaming nothing. Prints both runs' time and the host's peak
// memory, their ratio and the peak against the 200 MB target.
//
//   held_lines_bench [lines]
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "testing/feed_sim.h"
#include "testing/host_run.h"
#include "testing/private_environment.h"
#include "testing/process.h"

namespace {

using namespace orvella::testing;

constexpr double kTargetMb = 200.0;

struct CLoadRun {
    int status = -1;
    double seconds = 0;
    long peakKb = 0;
    size_t pauses = 0;
};

CLoadRun RunLoad(const std::string& lines, const std::string& rate) {
    CPrivateEnvironment env(Launcher::kBuild);
    const std::string data = env.Dir() + "/data";
    std::filesystem::create_directories(data);
    std::ofstream(data + "/ABC.HIT300") << "2024-03-06 10:00:00,10.5,10.0,10.2,10.4,1000,500,7\n";
    CFeedSim sim;
    CFeedSimOptions feed;
    // The plug-in's login goes to 9300; without it the login waits out its
    // bound of 30 seconds first, which the times below leave out.
    feed.adminPort = 9300;
    feed.options = {"--history-lines", lines, "--update-rate", rate, "--now", "2024-03-06T11:00:00",
                    "--data-dir",      data};
    if (!sim.Start(env, feed)) {
        feed.adminPort = 0;
        if (!sim.Start(env, feed)) {
            return {};
        }
    }
    setenv("ORVELLA_FEED_SIM_ARGS", ("--admin-port " + std::to_string(sim.admin)).c_str(), 1);
    env.WritePorts(sim.lookup, sim.level1);
    CPluginSettings settings;
    settings.streaming = true;
    env.WriteSettings(settings);

    CLoadRun run;
    const auto begin = std::chrono::steady_clock::now();
    run.status = WaitExit(StartHost(env,
                                    {"credentials u p", "request ABC 5 2024-03-05",
                                     "request BIG 5 2024-03-05", "remove ABC 5", "pump 1"},
                                    {"-q", "--count-only"}),
                          1800 * 1000, &run.peakKb);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    for (const auto& entry : std::filesystem::directory_iterator(env.HostRoot())) {
        run.pauses += CountOf(ReadWholeFile(entry.path().string()), "Level One reading paused");
    }
    return run;
}

void Print(const char* name, const CLoadRun& run) {
    std::printf("%-34s exit %d, %7.2f s, peak %7.1f MB, reading paused %zu times\n", name,
                run.status, run.seconds, static_cast<double>(run.peakKb) / 1024.0, run.pauses);
}

}  // namespace

constexpr char kUsage[] =
    "Usage: held_lines_bench [LINES]\n"
    "Measures the peak memory of a history load of LINES lines (default 1000000)\n"
    "for a second chart while the first streams at the feed's full rate, against\n"
    "a feed that streams nothing. Exit status 0 when the target is met.\n";
int main(int argc, char** argv) {
    const orvella::cli::CProgram program{"held_lines_bench", kUsage};
    if (const int code = orvella::cli::AnswerNumberOperands(program, argc, argv); code >= 0)
        return code;
    const std::string lines = argc > 1 ? argv[1] : "1000000";
    std::printf("history of %s lines for a second chart while the first streams\n", lines.c_str());
    const CLoadRun baseline = RunLoad(lines, "0");
    const CLoadRun full = RunLoad(lines, "max");
    Print("baseline (feed streams nothing)", baseline);
    Print("feed at its full rate", full);
    if (baseline.peakKb <= 0 || full.peakKb <= 0) {
        std::fprintf(stderr, "a run did not complete\n");
        return 1;
    }
    const double fullMb = static_cast<double>(full.peakKb) / 1024.0;
    std::printf("peak memory: %.2f x the baseline; %.2f x the %.0f MB target\n",
                static_cast<double>(full.peakKb) / static_cast<double>(baseline.peakKb),
                fullMb / kTargetMb, kTargetMb);
    return fullMb < kTargetMb && full.status == 0 && baseline.status == 0 ? 0 : 1;
}
