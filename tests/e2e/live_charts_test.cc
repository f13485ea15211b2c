// Charts left open all day: the plug-in in the stand-in host against a feed
// client that is still starting, that streams at its full rate through a long
// history load, and whose level-one connection goes away and comes back.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/streaming_fixture.h"

namespace orvella::e2e {
namespace {

using testing::FreePort;
using testing::ReadWholeFile;
using testing::RecordOptions;

constexpr char kRefused[] = "The attempt to connect was rejected.";

// The request's history rows, then rows from the stream.
void ExpectHistoryThenLiveRows(const CHostRun& run) {
    size_t history = 0;
    size_t live = 0;
    for (const CRow& row : run.rows) {
        (row.history ? history : live) += 1;
    }
    EXPECT_GT(history, 0u);
    EXPECT_GT(live, 0u);
}

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The host hands over the credentials while no feed client runs: the
// launcher starts one that needs three seconds before it listens, and a chart
// requested right after the credentials still gets its history and then
// live rows.
TEST(StartUpOrder, ChartRequestedRightAfterTheCredentialsStreams) {
    CPrivateEnvironment env(Launcher::kBuild);
    CPluginSettings settings;
    settings.streaming = true;
    env.WriteSettings(settings);
    env.WritePorts(FreePort(), FreePort());
    setenv("ORVELLA_FEED_SIM_ARGS",
           "--listen-delay 3 --login-delay 0 --update-rate 20 --now 2024-03-06T11:00:00", 1);
    const CHostRun run = RunHost(
        env, {"credentials u p", "request ABC 5 2024-03-05", "pump 3", "remove ABC 5"}, 120);
    if (ReadWholeFile(env.FeedPidFile()).empty()) {
        GTEST_SKIP() << "the launched feed client could not listen (port 9300 taken?)";
    }
    EXPECT_EQ(run.credentialResults, std::vector<int>{-1});
    ExpectLoadEnded(run);
    ExpectSoundRows(run);
    ExpectHistoryThenLiveRows(run);
    EXPECT_TRUE(run.boxes.empty());
}

// The admin port answers at once but the level-one port refuses for two
// seconds: the watch's wait connects again until it is taken, logging the
// refusal once.
TEST_F(StreamingFaults, LevelOnePortListeningLateIsWaitedFor) {
    StartSim({});
    if (IsSkipped()) {
        return;
    }
    kill(m_sim.Pid(), SIGUSR1);
    Sleep(300);
    const pid_t host =
        StartHost(m_env, {"credentials u p", "request ABC 5 2024-03-05", "pump 3", "remove ABC 5"},
                  RecordOptions(m_env));
    Sleep(2000);
    kill(m_sim.Pid(), SIGUSR2);
    const CHostRun run = ReadHostRun(m_env, WaitExit(host, 120000));
    ExpectLoadEnded(run);
    ExpectHistoryThenLiveRows(run);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(CountOf(run.log, kRefused), 1u) << run.log;
}

// A history load of a million lines while the feed streams at its full rate:
// the held lines reach their bound, reading stops until the load has ended,
// and every trade the feed sent for the watched chart reaches the host once,
// in order (the feed numbers them in their size field).
TEST_F(StreamingFaults, MillionLineLoadWithTheFeedAtFullRateLosesNoTrade) {
    const std::string data = m_env.Dir() + "/data";
    std::filesystem::create_directories(data);
    std::ofstream(data + "/ABC.HIT300") << "2024-03-06 10:00:00,10.5,10.0,10.2,10.4,1000,500,7\n";
    StartSim({"--update-rate", "max", "--numbered-trades", "--history-lines", "1000000",
              "--data-dir", data});
    if (IsSkipped()) {
        return;
    }
    const CHostRun run = RunHost(m_env,
                                 {"credentials u p", "request ABC 5 2024-03-05",
                                  "request BIG 5 2024-03-05", "remove ABC 5", "pump 1"},
                                 300, {"--count-only", "--record-symbol", "ABC"});
    ExpectLoadEnded(run, 2);
    // ABC's one history bar is four rows; every later row is a trade.
    ASSERT_GT(run.rows.size(), 4u);
    double expected = 1;
    for (size_t i = 4; i < run.rows.size(); ++i, ++expected) {
        ASSERT_EQ(run.rows[i].symbol, "ABC");
        ASSERT_EQ(run.rows[i].values.size(), 3u);
        ASSERT_EQ(run.rows[i].values[2], expected) << "row " << i;
    }
    EXPECT_NE(run.log.find("Level One reading paused with "), std::string::npos);
    EXPECT_NE(run.log.find("Level One reading resumed"), std::string::npos);
}

}  // namespace
}  // namespace orvella::e2e
