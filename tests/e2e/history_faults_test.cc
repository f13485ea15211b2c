// The shipped plug-in in the stand-in host loading history from the
// feed-client stand-in in each of its lookup fault modes, over loopback and
// without a login. Whatever the feed does, the host's process lives on, every
// request returns, the host gets 100 percent, the rows that arrived before
// the fault are all there, and the user is told what the failure table
// promises.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/e2e/e2e_checks.h"

namespace orvella::e2e {
namespace {

class HistoryFaults : public ::testing::Test {
  protected:
    // A history-only run (no credentials, so no login) against a stand-in
    // started with the given options.
    CHostRun Load(const std::vector<std::string>& simOptions,
                  const std::vector<std::string>& commands = {kDailyRequest},
                  int timeoutSeconds = 60) {
        CPrivateEnvironment env;
        CFeedSim sim;
        std::vector<std::string> options = {"--now", kNow};
        options.insert(options.end(), simOptions.begin(), simOptions.end());
        CFeedSimOptions feed;
        feed.options = options;
        EXPECT_TRUE(sim.Start(env, feed));
        env.WriteSettings({});
        env.WritePorts(sim.lookup, sim.level1);
        CHostRun run = RunHost(env, commands, timeoutSeconds);
        // The plug-in writes nothing but its log into the host's folder.
        for (const std::string& file : env.Files()) {
            if (file.rfind("root/", 0) == 0) {
                EXPECT_EQ(file.rfind("root/OrvellaForNST", 0), 0u) << file;
                EXPECT_EQ(file.substr(file.size() - 4), ".log") << file;
            }
        }
        return run;
    }
};

TEST_F(HistoryFaults, CleanDailyLoadIsTheBaseline) {
    const CHostRun run = Load({});
    ExpectLoadEnded(run);
    ExpectSoundRows(run);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_GT(run.rows.size(), 30u);
    for (const CRow& row : run.rows) {
        EXPECT_EQ(row.values.size(), 6u);
        EXPECT_EQ(row.interval, "1440");
    }
}

TEST_F(HistoryFaults, ConnectionClosedMidReplyKeepsTheRowsBeforeIt) {
    const CHostRun clean = Load({});
    const CHostRun run = Load({"--fault-lookup-close-after", "5"});
    ExpectLoadEnded(run);
    ExpectSoundRows(run);
    ASSERT_EQ(run.rows.size(), 5u);
    ASSERT_GE(clean.rows.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(run.rows[i].values, clean.rows[i].values) << i;
    }
    EXPECT_EQ(run.boxes, std::vector<std::string>{kLoadAborted});
    EXPECT_NE(run.log.find(kLoadAborted), std::string::npos);
}

TEST_F(HistoryFaults, ConnectionClosedBeforeAnyLine) {
    const CHostRun run = Load({"--fault-lookup-close-after", "0"});
    ExpectLoadEnded(run);
    EXPECT_TRUE(run.rows.empty());
    EXPECT_EQ(run.boxes, std::vector<std::string>{kLoadAborted});
}

TEST_F(HistoryFaults, ReplyWithoutEndLineEndsAfterItsSilence) {
    const auto started = std::chrono::steady_clock::now();
    const CHostRun run = Load({"--fault-no-end-line"}, {kDailyRequest}, 90);
    const auto took = std::chrono::steady_clock::now() - started;
    ExpectLoadEnded(run);
    ExpectSoundRows(run);
    EXPECT_GT(run.rows.size(), 30u);
    EXPECT_EQ(run.boxes, std::vector<std::string>{kLoadAborted});
    // Bounded: the silent reply ends the load, not the test's time limit.
    EXPECT_LT(took, std::chrono::seconds(60));
}

TEST_F(HistoryFaults, OneByteAtATimeGivesTheSameRows) {
    // A short reply: every byte is one notification.
    const std::vector<std::string> commands = {kDailyRequest};
    const CHostRun clean = Load({"--daily-days", "60"}, commands);
    const CHostRun run =
        Load({"--daily-days", "60", "--fault-one-byte", "--fault-byte-gap-us", "20"}, commands);
    ExpectLoadEnded(run);
    ExpectSoundRows(run);
    EXPECT_TRUE(run.boxes.empty());
    ASSERT_EQ(run.rows.size(), clean.rows.size());
    // Today's bar moves with the clock; every earlier bar is the same.
    for (size_t i = 0; i + 1 < run.rows.size(); ++i) {
        EXPECT_EQ(run.rows[i].values, clean.rows[i].values) << i;
    }
}

TEST_F(HistoryFaults, GarbageInTheReplyNeverBecomesARow) {
    const std::vector<std::string> commands = {kDailyRequest, "request ABC 5 2024-03-05",
                                               "request ABC 0 2024-03-06T10:00:00"};
    const CHostRun clean = Load({}, commands);
    const CHostRun run = Load({"--fault-garbage", "--fault-long-line", "140000"}, commands, 120);
    ExpectLoadEnded(run, 3);
    ExpectSoundRows(run);
    EXPECT_FALSE(run.rows.empty());
    // Lines cut by a NUL may be lost, but nothing is invented or reordered.
    std::vector<CRow> settled(clean.rows.begin(), clean.rows.end());
    std::vector<CRow> got;
    for (const CRow& row : run.rows) {
        if (row.values[0] < 45357.0) {  // before 2024-03-06, untouched by the clock
            got.push_back(row);
        }
    }
    EXPECT_TRUE(IsSubsequence(got, settled));
    for (const std::string& box : run.boxes) {
        EXPECT_EQ(box, kLoadAborted);
    }
}

TEST_F(HistoryFaults, LookupPortRefused) {
    const CHostRun run = Load({"--no-listen", "lookup"});
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(run.requestResults.size(), 1u);
    EXPECT_TRUE(run.rows.empty());
    EXPECT_EQ(run.boxes, std::vector<std::string>{kRequestFailed});
    ASSERT_FALSE(run.percents.empty());
    EXPECT_EQ(run.percents.back(), 100);
}

TEST_F(HistoryFaults, ErrorReplyEndsTheLoadQuietly) {
    const CHostRun run = Load({}, {"request BADSYM 1440 2024-01-01"});
    ExpectLoadEnded(run);
    EXPECT_TRUE(run.rows.empty());
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_NE(run.log.find("History request Invalid symbol"), std::string::npos);
}

}  // namespace
}  // namespace orvella::e2e
