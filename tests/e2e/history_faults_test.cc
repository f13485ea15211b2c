// The shipped plug-in in the stand-in host loading history from the
// feed-client stand-in in each of its lookup fault modes, over loopback and
// without a login. Whatever the feed does, the host's process lives on, every
// request returns, the host gets 100 percent, the rows that arrived before
// the fault are all there, and the user is told what the failure table
// promises.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "settings/registry_access.h"
#include "settings/settings_keys.h"
#include "tests/e2e/e2e_checks.h"

namespace orvella::e2e {
namespace {

// The stand-in's clock, and daily history back 100 days: the daily request
// (66 days) gets the same reply as from the default ten years, which the
// stand-in takes seconds to make under ThreadSanitizer.
std::vector<std::string> FeedOptions() {
    return {"--now", kNow, "--daily-days", "100"};
}

class HistoryFaults : public ::testing::Test {
  protected:
    // A history-only run (no credentials, so no login) against a stand-in
    // started with the given options.
    CHostRun Load(const std::vector<std::string>& simOptions,
                  const std::vector<std::string>& commands = {kDailyRequest},
                  int timeoutSeconds = 60) {
        CPrivateEnvironment env;
        CFeedSim sim;
        std::vector<std::string> options = FeedOptions();
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
    // A quarter of an hour of trades is a tick reply of several 64 KB batches,
    // so its garbage still comes in the middle of the reply (after the first
    // batch); an hour of them only made the run slow under the sanitizers.
    const std::vector<std::string> commands = {kDailyRequest, "request ABC 5 2024-03-05",
                                               "request ABC 0 2024-03-06T10:45:00"};
    const CHostRun clean = Load({}, commands);
    const CHostRun run = Load({"--fault-garbage", "--fault-long-line", "140000"}, commands, 120);
    ExpectLoadEnded(run, 3);
    ExpectSoundRows(run);
    // NUL bytes, bytes that are no text and an over-long line each spoil only
    // their own line: every row of the clean run is there, nothing else.
    auto settled = [](const CHostRun& r) {
        std::vector<CRow> rows;
        for (const CRow& row : r.rows) {
            if (row.values[0] < 45357.0) {  // before 2024-03-06, untouched by the clock
                rows.push_back(row);
            }
        }
        return rows;
    };
    EXPECT_FALSE(settled(run).empty());
    EXPECT_EQ(settled(run).size(), settled(clean).size());
    EXPECT_TRUE(IsSubsequence(settled(run), settled(clean)));
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_NE(run.log.find("Skipped 3 history lines that could not be read"), std::string::npos);
}

TEST_F(HistoryFaults, SymbolThatWouldShiftTheRequestsFieldsIsRefused) {
    const CHostRun run = Load({}, {"request \"ABC,1\" 1440 2024-01-01"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.requestResults, std::vector<int>{0});
    EXPECT_TRUE(run.rows.empty());
    EXPECT_EQ(run.boxes, std::vector<std::string>{kSymbolRefused});
    EXPECT_NE(run.log.find(kSymbolRefused), std::string::npos);
}

// The log lies in the host's folder, whatever letters its name holds, and
// nowhere when the folder is not an absolute path.
TEST(HostFolder, TheLogGoesOnlyIntoAnAbsoluteHostFolder) {
    struct Case {
        const char* name;
        std::string root;  // below the scratch folder when it starts with '/'
        bool logged;
    } cases[] = {
        {"letters beyond ASCII", "/Z\xC3\xBCrich N\xC3\xB8rd", true},
        {"relative", "root", false},
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        CPrivateEnvironment env;
        CFeedSim sim;
        CFeedSimOptions feed;
        feed.options = FeedOptions();
        ASSERT_TRUE(sim.Start(env, feed)) << c.name;
        env.WriteSettings({});
        env.WritePorts(sim.lookup, sim.level1);
        std::string root = c.root;
        if (!root.empty() && root[0] == '/') {
            root = env.Dir() + root;
            std::filesystem::create_directory(root);
        }
        WriteRegString(std::string(kNovaScopeRootPathA), root);
        const CHostRun run = RunHost(env, {kDailyRequest}, 60);
        ExpectLoadEnded(run);
        EXPECT_TRUE(run.boxes.empty()) << c.name;
        std::vector<std::string> logs;
        for (const std::string& file : env.Files()) {
            if (file.find("OrvellaForNST") != std::string::npos) {
                logs.push_back(file);
            }
        }
        ASSERT_EQ(logs.size(), c.logged ? 1u : 0u) << c.name;
        if (c.logged) {
            EXPECT_EQ(logs[0].rfind(c.root.substr(1) + "/OrvellaForNST", 0), 0u) << logs[0];
        }
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
