// A bounded soak run: the shipped plug-in in nst-host, logged in and
// streaming, with many symbols requested and removed in turn for about a
// minute. The host's resident memory and open descriptors must stay flat
// once the run has warmed up, and every request must succeed.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/e2e_checks.h"

namespace orvella::e2e {
namespace {

constexpr int kRounds = 160;
constexpr int kSymbols = 16;
// Symbols watched at once; older ones are removed as new ones come.
constexpr int kWatched = 6;

std::vector<std::string> SoakCommands() {
    const char* kRequests[] = {"5 2024-03-05", "1440 2024-01-01", "0 2024-03-06T10:55:00",
                               "1 2024-03-06"};
    const char* kIntervals[] = {"5", "1440", "0", "1"};
    std::vector<std::string> commands = {"credentials u p"};
    for (int round = 0; round < kRounds; ++round) {
        const std::string symbol = "S" + std::to_string(round % kSymbols);
        commands.push_back("request " + symbol + " " + kRequests[round % 4]);
        commands.push_back("pump 0.25");
        if (round >= kWatched) {
            const int old = round - kWatched;
            commands.push_back("remove S" + std::to_string(old % kSymbols) + " " +
                               kIntervals[old % 4]);
        }
    }
    for (int old = kRounds - kWatched; old < kRounds; ++old) {
        commands.push_back("remove S" + std::to_string(old % kSymbols) + " " + kIntervals[old % 4]);
    }
    return commands;
}

TEST(Soak, MemoryAndDescriptorsStayFlat) {
    CPrivateEnvironment env;
    CFeedSim sim;
    CFeedSimOptions feed;
    feed.adminPort = kAdminPort;
    feed.options = {"--now",      kNow, "--update-rate", "40", "--daily-days", "90",
                    "--bar-days", "3",  "--tick-days",   "1"};
    if (!sim.Start(env, feed)) {
        GTEST_SKIP() << "the admin port 9300 is taken by another program";
    }
    CPluginSettings settings;
    settings.streaming = true;
    settings.extendedTrade = true;
    settings.logging = false;
    env.WriteSettings(settings);
    env.WritePorts(sim.lookup, sim.level1);

    std::vector<std::string> options = testing::RecordOptions(env);
    options.push_back("--count-only");
    const pid_t host = StartHost(env, SoakCommands(), options);
    std::vector<long> memory;
    std::vector<int> descriptors;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(150);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ResidentKb(host) < 0 || ProcessEnded(host)) {
            break;
        }
        const long kb = ResidentKb(host);
        const int fds = OpenDescriptors(host);
        if (kb > 0 && fds > 0) {
            memory.push_back(kb);
            descriptors.push_back(fds);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    const CHostRun run = ReadHostRun(env, WaitExit(host, 1000));
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(run.requestResults.size(), static_cast<size_t>(kRounds));
    EXPECT_EQ(std::count(run.requestResults.begin(), run.requestResults.end(), 1), kRounds);
    EXPECT_TRUE(run.boxes.empty());

    // Warm-up: the first quarter of the samples (every symbol and layout has
    // been seen once by then).
    ASSERT_GT(memory.size(), 40u);
    const size_t warm = memory.size() / 4;
    const long warmKb = *std::max_element(memory.begin(), memory.begin() + warm);
    const long lastKb = *std::max_element(memory.end() - warm, memory.end());
    const int warmFds = *std::max_element(descriptors.begin(), descriptors.begin() + warm);
    const int mostFds = *std::max_element(descriptors.begin() + warm, descriptors.end());
    std::printf("soak: %zu samples, rss %ld kB after warm-up, %ld kB at the end; fds %d / %d\n",
                memory.size(), warmKb, lastKb, warmFds, mostFds);
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed memory in quarantine; only descriptors
    // can be judged in that build.
    (void)lastKb;
#else
    EXPECT_LT(lastKb, warmKb + 8 * 1024) << "resident memory grew";
#endif
    // One lookup connection at a time may be open on top of the steady set.
    EXPECT_LE(mostFds, warmFds + 2) << "descriptors grew";
}

}  // namespace
}  // namespace orvella::e2e
