// Charts left open all day: the plug-in in the stand-in host against a feed
// client that is still starting, that streams at its full rate through a long
// history load, and whose level-one connection goes away and comes back.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <ostream>
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
constexpr char kLost[] = "Level One connection lost; reconnecting";
constexpr char kReconnected[] = "Level One reconnected";
constexpr char kAttempt[] = "Level One reconnect attempt";
constexpr char kGapFill[] = "Beginning to fill the gap of the streaming charts";
constexpr double kSecond = 1.0 / 86400.0;

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

// A series' rows, history and streamed alike, never go back in time: the gap
// fill handed on nothing the chart already had.
void ExpectNoRowGoesBack(const CHostRun& run, const std::string& interval) {
    const std::vector<CRow> rows = run.Rows("ABC", interval, kNone);
    ASSERT_FALSE(rows.empty()) << interval;
    for (size_t i = 1; i < rows.size(); ++i) {
        ASSERT_GE(rows[i].values[0], rows[i - 1].values[0]) << interval << " row " << i;
    }
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

// The reconnecting runs: the stand-in's level-one port is dropped and
// restored by signal while the host streams.
class Reconnecting : public StreamingFaults {
  protected:
    void StartReconnectingSim(const std::vector<std::string>& simOptions) {
        StartSim(simOptions);
        CPluginSettings settings;
        settings.streaming = true;
        settings.reconnect = true;
        m_env.WriteSettings(settings);
    }
    pid_t StartHostWith(const std::vector<std::string>& commands) {
        std::vector<std::string> all = {"credentials u p"};
        all.insert(all.end(), commands.begin(), commands.end());
        return StartHost(m_env, all, RecordOptions(m_env));
    }
};

// The level-one connection goes away for three seconds: the plug-in connects
// again, watches again and fills the gap of both charts from history; no
// chart gets a row twice or out of order, and streaming goes on.
TEST_F(Reconnecting, DroppedConnectionComesBackAndTheGapIsFilled) {
    StartReconnectingSim({});
    if (IsSkipped()) {
        return;
    }
    const pid_t host = StartHostWith({"request ABC 5 2024-03-05", "request ABC 0 2024-03-06",
                                      "pump 14", "remove ABC 5", "remove ABC 0"});
    Sleep(4000);
    kill(m_sim.Pid(), SIGUSR1);
    Sleep(3000);
    kill(m_sim.Pid(), SIGUSR2);
    const CHostRun run = ReadHostRun(m_env, WaitExit(host, 120000));
    ExpectLoadEnded(run, 2);
    ExpectSoundRows(run);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(CountOf(run.log, kLost), 1u) << run.log;
    EXPECT_EQ(CountOf(run.log, kReconnected), 1u);
    EXPECT_EQ(CountOf(run.log, kGapFill), 1u);
    // Each series asked for its gap's trades once, besides its own load, and
    // its fill has its log line.
    const std::string feedLog = m_sim.Log();
    EXPECT_EQ(CountOf(feedLog, ": HIT,ABC,300,"), 1u) << feedLog;
    EXPECT_EQ(CountOf(feedLog, ": HTT,ABC,"), 3u);
    EXPECT_EQ(CountOf(run.log, "Filled the gap of ABC, interval 5: "), 1u) << run.log;
    EXPECT_EQ(CountOf(run.log, "Filled the gap of ABC, interval 0: "), 1u);
    for (const char* interval : {"-5", "-0.0"}) {
        ExpectNoRowGoesBack(run, interval);
        const std::vector<CRow> streamed = run.Streamed("ABC", interval);
        ASSERT_FALSE(streamed.empty()) << interval;
        // Rows from the new connection: well after the drop.
        EXPECT_GT(streamed.back().values[0], streamed.front().values[0] + 9 * kSecond) << interval;
    }
}

// The feed client never listens again: attempts back off (1, 2, 4 seconds
// ...), a chart requested meanwhile loads its history and waits for the
// reconnect with its watch, and unloading the plug-in in the middle of it
// ends the attempts and the run cleanly.
TEST_F(Reconnecting, FeedThatNeverComesBackAndAnUnloadDuringTheReconnect) {
    StartReconnectingSim({});
    if (IsSkipped()) {
        return;
    }
    const pid_t host = StartHostWith(
        {"request ABC 5 2024-03-05", "pump 12", "request XYZ 5 2024-03-05", "unload", "pump 2"});
    Sleep(3000);
    kill(m_sim.Pid(), SIGUSR1);
    const CHostRun run = ReadHostRun(m_env, WaitExit(host, 120000));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.requestResults, (std::vector<int>{1, 1}));
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(CountOf(run.log, kLost), 1u) << run.log;
    EXPECT_EQ(CountOf(run.log, kReconnected), 0u);
    const size_t attempts = CountOf(run.log, kAttempt);
    EXPECT_GE(attempts, 2u) << run.log;
    EXPECT_LE(attempts, 5u) << run.log;
    EXPECT_NE(run.log.find("Watch of XYZ waits for the reconnect"), std::string::npos);
    ASSERT_NE(run.log.find("Closing Logfile"), std::string::npos);
    EXPECT_LT(run.log.rfind(kAttempt), run.log.find("Closing Logfile"));
}

// Every level-one connection closes after ten lines: the first during the
// chart's own history load, the later ones soon after they watch again,
// while their gap is being filled. Each time the plug-in comes back, and the
// chart never gets a row twice or out of order.
TEST_F(Reconnecting, DropsDuringALoadAndDuringTheGapFillEndCleanly) {
    StartReconnectingSim({"--fault-level1-close-after", "10", "--history-lines", "20000"});
    if (IsSkipped()) {
        return;
    }
    const CHostRun run = RunHost(
        m_env, {"credentials u p", "request ABC 5 2024-03-05", "pump 10", "remove ABC 5"}, 120);
    ExpectLoadEnded(run);
    ExpectSoundRows(run);
    EXPECT_GE(CountOf(run.log, kLost), 2u) << run.log;
    EXPECT_GE(CountOf(run.log, kReconnected), 2u);
    ExpectNoRowGoesBack(run, "-5");
}

// A restart of the feed client while four charts stream: the level-one port
// goes away for a while (and the lookup port with it where the row says so,
// coming back later than the level-one port). The plug-in reconnects, fills
// each chart's gap once, retries a fill the lookup port refused on the next
// tick, and shows no box for any of it.
struct COutage {
    const char* name;
    std::vector<std::string> simOptions;
    int outageMs;
    int pumpSeconds;
    // The first fill finds the lookup port down and is tried again.
    bool retried;
};

void PrintTo(const COutage& outage, std::ostream* out) {
    *out << outage.name;
}

class Outages : public Reconnecting, public ::testing::WithParamInterface<COutage> {};

TEST_P(Outages, EveryChartGetsItsGapOnceAndNoBox) {
    const COutage& outage = GetParam();
    StartReconnectingSim(outage.simOptions);
    if (IsSkipped()) {
        return;
    }
    const pid_t host = StartHostWith({"request ABC 0 2024-03-06", "request ABC 1 2024-03-05",
                                      "request ABC 5 2024-03-05", "request ABC 1440 2024-01-02",
                                      "pump " + std::to_string(outage.pumpSeconds), "remove ABC 0",
                                      "remove ABC 1", "remove ABC 5", "remove ABC 1440"});
    Sleep(4000);
    kill(m_sim.Pid(), SIGUSR1);
    Sleep(outage.outageMs);
    kill(m_sim.Pid(), SIGUSR2);
    const CHostRun run = ReadHostRun(m_env, WaitExit(host, 240000));
    ExpectLoadEnded(run, 4);
    ExpectSoundRows(run);
    EXPECT_TRUE(run.boxes.empty()) << run.boxes.front();
    EXPECT_EQ(CountOf(run.log, kLost), 1u) << run.log;
    EXPECT_EQ(CountOf(run.log, kReconnected), 1u);
    constexpr char kRetry[] = "The gap fill failed; it is tried again on the next reconnect tick";
    EXPECT_EQ(CountOf(run.log, kRetry), outage.retried ? 1u : 0u) << run.log;
    for (const char* interval : {"0", "1", "5", "1440"}) {
        EXPECT_EQ(
            CountOf(run.log, "Filled the gap of ABC, interval " + std::string(interval) + ": "), 1u)
            << interval;
    }
    for (const char* interval : {"-0.0", "-1", "-5", "-1440"}) {
        ExpectNoRowGoesBack(run, interval);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Restarts, Outages,
    ::testing::Values(COutage{"outage_8s", {}, 8000, 26, false},
                      COutage{
                          "lookup_up_4s_after_level_one", {"--lookup-lag", "4"}, 3000, 22, true}),
    [](const ::testing::TestParamInfo<COutage>& info) { return std::string(info.param.name); });

// The back-off reaches its longest wait: about a minute and a half.
INSTANTIATE_TEST_SUITE_P(RestartsSlow, Outages,
                         ::testing::Values(COutage{"outage_70s", {}, 70000, 110, false}),
                         [](const ::testing::TestParamInfo<COutage>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace orvella::e2e
