// The shipped plug-in in the stand-in host, logged in and streaming, against
// the feed-client stand-in's level-one and admin fault modes; and what the
// launcher and the log get to see of the credentials.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/streaming_fixture.h"

namespace orvella::e2e {
namespace {

constexpr char kUser[] = "john q";
constexpr char kPassword[] = "s3cr3t pass,word";

TEST_F(StreamingFaults, CleanLoginHistoryAndTrades) {
    StartSim({});
    if (IsSkipped()) {
        return;
    }
    const CHostRun run = RunHost(m_env,
                                 {"credentials \"john q\" \"s3cr3t pass,word\"",
                                  "request ABC 5 2024-03-05", "pump 3", "remove ABC 5"},
                                 60);
    EXPECT_EQ(run.credentialResults, std::vector<int>{-1});
    ExpectLoadEnded(run);
    ExpectSoundRows(run);
    size_t streamed = 0;
    for (const CRow& row : run.rows) {
        EXPECT_EQ(row.interval, "-5");
        EXPECT_EQ(row.values.size(), 3u);
        streamed += row.requestsBefore == 1;
    }
    EXPECT_GT(streamed, 0u);
    EXPECT_TRUE(run.boxes.empty());

    // Each credential reaches the launcher as one argument, blanks and all.
    const std::vector<std::string> args = m_env.LauncherArguments();
    ASSERT_EQ(args.size(), 8u);
    EXPECT_EQ(args[0], "-product");
    EXPECT_EQ(args[1], "NOVASCOPE_TRADER");
    EXPECT_EQ(args[4], "-login");
    EXPECT_EQ(args[5], kUser);
    EXPECT_EQ(args[6], "-password");
    EXPECT_EQ(args[7], kPassword);
    // The password never reaches the log, whole or in part.
    ASSERT_FALSE(run.log.empty());
    EXPECT_EQ(run.log.find("s3cr3t"), std::string::npos);
    EXPECT_EQ(run.log.find("pass,word"), std::string::npos);
}

TEST_F(StreamingFaults, LevelOneClosedByTheFeed) {
    StartSim({"--fault-level1-close-after", "6"});
    if (IsSkipped()) {
        return;
    }
    const CHostRun run = RunHost(
        m_env,
        {"credentials u p", "request ABC 5 2024-03-05", "pump 2", "request XYZ 1440 2024-01-01",
         "remove ABC 5", "pump 1", "request DEF 5 2024-03-05"},
        90);
    // The load before the close is whole. There is no reconnection: every
    // later streaming request fails its watch, is told so and loads nothing,
    // and the host's process carries on.
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.requestResults, (std::vector<int>{1, 0, 0}));
    ExpectSoundRows(run);
    ASSERT_FALSE(run.rows.empty());
    for (const CRow& row : run.rows) {
        EXPECT_EQ(row.symbol, "ABC");
    }
    EXPECT_EQ(run.boxes, (std::vector<std::string>{kWatchFailed, kWatchFailed}));
    EXPECT_NE(run.log.find(kWatchFailed), std::string::npos);
}

TEST_F(StreamingFaults, AdminClosingEndsTheLoginWait) {
    StartSim({"--fault-admin-close"});
    if (IsSkipped()) {
        return;
    }
    const CHostRun run = RunHost(m_env, {"credentials u p", "request ABC 5 2024-03-05"}, 60);
    EXPECT_EQ(run.credentialResults, std::vector<int>{-1});
    ExpectLoadEnded(run);
    // The settings were read after the wait: the streaming layout.
    ASSERT_FALSE(run.rows.empty());
    EXPECT_EQ(run.rows.front().interval, "-5");
}

TEST_F(StreamingFaults, NeverConnectedHoldsTheLoginUntilTheFeedGoes) {
    StartSim({"--fault-never-connected"});
    if (IsSkipped()) {
        return;
    }
    const pid_t host = StartHost(m_env, {"credentials u p"}, testing::RecordOptions(m_env));
    std::this_thread::sleep_for(std::chrono::seconds(3));
    // Still waiting, as the feed client keeps the connection open.
    int status = 0;
    ASSERT_EQ(waitpid(host, &status, WNOHANG), 0);
    // Its going away ends the wait; the host carries on as after a login.
    m_sim.Stop();
    const CHostRun run = ReadHostRun(m_env, WaitExit(host, 60000));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.credentialResults, std::vector<int>{-1});
}

}  // namespace
}  // namespace orvella::e2e
