// The simulator as a process on loopback: what each port sends, fault modes,
// many clients at once, bounded memory and clean shutdown.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <ostream>

#include "tests/feedsim/reply_checker.h"
#include "tests/feedsim/sim_process.h"

namespace feedsim_test {
namespace {

const char* const kNow = "2024-03-06 11:00:00";  // a Wednesday, in the session

std::vector<std::string> Request(int port, const std::string& line, bool* endLine = nullptr) {
    CClient client(port);
    EXPECT_TRUE(client.Connected());
    client.Send(line + "\r\n");
    const std::string text = client.ReceiveUntil("!ENDMSG!,\r\n", 20000);
    std::vector<std::string> lines = CrLfLines(text);
    if (endLine != nullptr) {
        *endLine = !lines.empty() && lines.back() == "!ENDMSG!,";
    }
    return lines;
}

TEST(FeedSimLookupTest, RepliesParseAndEndWithTheEndLine) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--now", kNow}));
    struct Case {
        const char* request;
        std::string (*check)(std::string_view);
        const char* notBefore;
    } cases[] = {
        {"HTT,ABC,20240305 093000,,,093000,160000,1", CheckTickLine, "2024-03-05 09:30:00"},
        {"HIT,ABC,300,20240301 093000,,,000000,235959,1", CheckIntervalBarLine,
         "2024-03-01 09:30:00"},
        {"HDX,ABC,,1", CheckDayBarLine, "2014-01-01"},
        {"HWX,MSFT,,1", CheckDayBarLine, "2014-01-01"},
        {"HMX,@ES#,,1", CheckDayBarLine, "2014-01-01"},
    };
    for (const Case& c : cases) {
        bool ended = false;
        std::vector<std::string> lines = Request(sim.lookup, c.request, &ended);
        ASSERT_TRUE(ended) << c.request;
        lines.pop_back();
        ASSERT_GT(lines.size(), 10u) << c.request;
        for (const std::string& line : lines) {
            ASSERT_EQ(c.check(line), "") << c.request << ": " << line;
            ASSERT_GE(line.substr(0, std::strlen(c.notBefore)), c.notBefore) << c.request;
        }
        EXPECT_EQ(lines.back().substr(0, 10), "2024-03-06") << c.request << ": ends now";
    }
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(FeedSimLookupTest, SameRequestSameReplyAcrossRuns) {
    const char* request = "HTT,XYZ,20240305 150000,20240305 160000,,,,1";
    std::string first;
    for (int run = 0; run < 2; ++run) {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start({"--now", kNow}));
        CClient client(sim.lookup);
        client.Send(std::string(request) + "\r\n");
        const std::string text = client.ReceiveUntil("!ENDMSG!,\r\n", 20000);
        ASSERT_NE(text.find("!ENDMSG!"), std::string::npos);
        if (run == 0) {
            first = text;
        } else {
            EXPECT_EQ(text, first);
        }
    }
}

TEST(FeedSimLookupTest, ErrorLinesAndTheConnectionStaysOpen) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--now", kNow}));
    struct Case {
        const char* request;
        const char* reply;
    } cases[] = {
        {"HDX,BADSYM,,1", "E,Invalid symbol.,"},
        {"HTT,UNKNOWNX,20240305 093000,,,000000,235959,1", "E,Invalid symbol.,"},
        {"HTT,abc,20240305 093000,,,000000,235959,1", "E,Invalid symbol.,"},
        {"HIT,ABC,0,20240305 093000,,,000000,235959,1", "E,!SYNTAX_ERROR!,"},
        {"HTT,ABC,Invalid DateTime,,,000000,235959,1", "E,!SYNTAX_ERROR!,"},
        {"XYZ,ABC", "E,!SYNTAX_ERROR!,"},
        {"HTT,ABC,20250101 000000,,,000000,235959,1", "E,!NO_DATA!,"},  // starts after now
    };
    for (const Case& c : cases) {
        CClient client(sim.lookup);
        client.Send(std::string(c.request) + "\r\n");
        EXPECT_EQ(client.ReceiveUntil("\r\n", 5000), std::string(c.reply) + "\r\n") << c.request;
        client.ReceiveUntil("", 150);
        EXPECT_FALSE(client.closed) << c.request << ": the client closes, not the feed";
    }
    // The same connection serves a further request after a reply.
    CClient client(sim.lookup);
    client.Send("HDX,BAD,,1\r\nHDX,ABC,3,1\r\n");
    const std::vector<std::string> lines = CrLfLines(client.ReceiveUntil("!ENDMSG!", 5000));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "E,Invalid symbol.,");
    EXPECT_EQ(lines[4], "!ENDMSG!,");
}

TEST(FeedSimLookupTest, ManyClientsAtOnceAndForcedLineCount) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--now", kNow, "--history-lines", "20000"}));
    std::vector<std::unique_ptr<CClient>> clients;
    for (int i = 0; i < 20; ++i) {
        clients.push_back(std::make_unique<CClient>(sim.lookup));
        clients.back()->Send(i % 2 ? "HTT,ABC,,,,,,1\r\n" : "HIT,DEF,60,,,,,,1\r\n");
    }
    // Read them round-robin so every reply progresses while the others wait.
    for (int round = 0; round < 20000; ++round) {
        bool all = true;
        for (auto& c : clients) {
            if (c->text.find("!ENDMSG!") == std::string::npos) {
                all = false;
                c->text += c->ReceiveSome(20);
            }
        }
        if (all) {
            break;
        }
    }
    for (auto& c : clients) {
        const std::vector<std::string> lines = CrLfLines(c->text);
        ASSERT_EQ(lines.size(), 20001u);
        EXPECT_EQ(lines.back(), "!ENDMSG!,");
    }
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(FeedSimLookupTest, ReplaysFilesFromTheDataDirectory) {
    const std::string dir = MakeTempDir();
    std::ofstream(dir + "/ABC.HDX")
        << "# comment\n2024-03-04,11,9,10,10.5,1000,0,\n2024-03-05,12,10,10.5,11,2000,0,\r\n";
    std::ofstream(dir + "/ABC.HIT300")
        << "2024-03-04 09:30:00,1,1,1,1,5,5,1,\n2024-03-05 09:30:00,2,2,2,2,5,5,1,\n";
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--now", kNow, "--data-dir", dir}));
    EXPECT_EQ(Request(sim.lookup, "HDX,ABC,,1"),
              (std::vector<std::string>{"2024-03-04,11,9,10,10.5,1000,0,",
                                        "2024-03-05,12,10,10.5,11,2000,0,", "!ENDMSG!,"}));
    EXPECT_EQ(Request(sim.lookup, "HIT,ABC,300,20240305 000000,,,,,1"),
              (std::vector<std::string>{"2024-03-05 09:30:00,2,2,2,2,5,5,1,", "!ENDMSG!,"}));
    // No file for this interval: the synthetic market answers.
    EXPECT_GT(Request(sim.lookup, "HIT,ABC,60,20240306 000000,,,,,1").size(), 10u);
    std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(FeedSimLevelOneTest, CustomerLineFirstThenWatchAndUnwatch) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--now", kNow, "--update-rate", "50"}));
    CClient client(sim.level1);
    client.ReceiveUntil("SERVER CONNECTED\r\n", 5000);
    std::vector<std::string> lines = CrLfLines(client.text);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(SplitAll(lines[0])[0], "S");
    EXPECT_NE(SplitAll(lines[0])[1].find("CUST"), std::string::npos);
    EXPECT_EQ(lines[1], "S,SERVER CONNECTED");

    client.text.clear();
    client.Send("wABC\r\nwBADX\r\nwMSFT\r\n");
    for (int i = 0; i < 400 && CrLfLines(client.text).size() < 40; ++i) {
        client.text += client.ReceiveSome(50);
    }
    lines = CrLfLines(client.text);
    ASSERT_GE(lines.size(), 40u);
    EXPECT_EQ(lines[0].substr(0, 6), "P,ABC,");
    EXPECT_EQ(lines[1], "Q,BADX,,Not Found");
    EXPECT_EQ(lines[2].substr(0, 7), "P,MSFT,");
    int trades = 0;
    for (size_t i = 3; i < lines.size(); ++i) {
        ASSERT_EQ(CheckLevelOneLine(lines[i]), "") << lines[i];
        const std::vector<std::string> f = SplitAll(lines[i]);
        EXPECT_EQ(f[0], "Q");
        EXPECT_TRUE(f[1] == "ABC" || f[1] == "MSFT") << lines[i];
        trades += f[17].find('t') != std::string::npos;
    }
    EXPECT_GT(trades, 0);

    client.Send("rABC\r\n");
    client.ReceiveUntil("", 300);  // let the unwatch take effect
    client.text.clear();
    client.ReceiveUntil("", 300);
    lines = CrLfLines(client.text);
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) {
        EXPECT_EQ(line.substr(0, 7), "Q,MSFT,") << "updates after the unwatch";
    }
    EXPECT_EQ(sim.Stop(), 0);
}

// The trades one watch streamed for a while, as tick history lines.
std::vector<std::string> StreamedTrades(int port, int milliseconds) {
    CClient client(port);
    client.Send("wABC\r\n");
    client.ReceiveUntil("", milliseconds);
    std::vector<std::string> trades;
    for (const std::string& line : CrLfLines(client.text)) {
        if (line.rfind("Q,ABC,", 0) == 0) {
            EXPECT_EQ(CheckLevelOneLine(line), "") << line;
            trades.push_back(AsTickLine(line));
        }
    }
    return trades;
}

// What the level-one port streamed is in the lookup port's history
// afterwards, each trade once and in order, also when the stream runs into
// the next minute, and when the history comes from the stand-in restarted
// with its clock running on from where it was.
struct CStreamRun {
    const char* name;
    const char* start;      // the feed's clock at the first start
    const char* restartAt;  // its clock at the second start; none when null
    const char* historyFrom;
};

void PrintTo(const CStreamRun& run, std::ostream* out) {
    *out << run.name;
}

class FeedSimOneMarketTest : public ::testing::TestWithParam<CStreamRun> {};

TEST_P(FeedSimOneMarketTest, HistoryHoldsEveryStreamedTradeOnce) {
    const CStreamRun& run = GetParam();
    std::vector<std::vector<std::string>> runs;
    auto sim = std::make_unique<CSimProcess>();
    ASSERT_TRUE(sim->Start({"--now", run.start, "--update-rate", "20"}));
    runs.push_back(StreamedTrades(sim->level1, 2500));
    if (run.restartAt != nullptr) {
        EXPECT_EQ(sim->Stop(), 0);
        sim = std::make_unique<CSimProcess>();
        ASSERT_TRUE(sim->Start({"--now", run.restartAt, "--update-rate", "20"}));
        runs.push_back(StreamedTrades(sim->level1, 1500));
    }
    std::vector<std::string> history =
        Request(sim->lookup, std::string("HTT,ABC,") + run.historyFrom + ",,,,,1");
    ASSERT_FALSE(history.empty());
    history.pop_back();  // the end line
    for (const std::vector<std::string>& streamed : runs) {
        ASSERT_GT(streamed.size(), 20u) << "a few trades a second";
        const auto first = std::find(history.begin(), history.end(), streamed.front());
        ASSERT_NE(first, history.end()) << streamed.front();
        ASSERT_GE(static_cast<size_t>(history.end() - first), streamed.size());
        EXPECT_TRUE(std::equal(streamed.begin(), streamed.end(), first));
    }
    EXPECT_EQ(sim->Stop(), 0);
}

// The second run's clock starts where the first one's stood.
INSTANTIATE_TEST_SUITE_P(Runs, FeedSimOneMarketTest,
                         ::testing::Values(CStreamRun{"one_run", kNow, nullptr, "20240306 110000"},
                                           CStreamRun{"into_the_next_minute", "2024-03-06 10:59:59",
                                                      nullptr, "20240306 105900"},
                                           CStreamRun{"restarted_with_the_clock_running_on", kNow,
                                                      "2024-03-06 11:00:03", "20240306 110000"}),
                         [](const ::testing::TestParamInfo<CStreamRun>& info) {
                             return std::string(info.param.name);
                         });

TEST(FeedSimLevelOneTest, FastestRateKeepsMemoryBoundedForAClientThatDoesNotRead) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--now", kNow, "--update-rate", "max"}));
    CClient stalled(sim.level1);
    std::string watches;
    for (int i = 0; i < 50; ++i) {
        watches += "wSYM" + std::to_string(i) + "\r\n";
    }
    stalled.Send(watches);
    CClient reader(sim.level1);
    reader.Send("wABC\r\n");
    size_t bytes = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (std::chrono::steady_clock::now() < end) {
        bytes += reader.ReceiveSome(50).size();
    }
    EXPECT_GT(bytes, 1000000u) << "a reading client gets updates as fast as it reads";
    const std::string status = ReadFile("/proc/" + std::to_string(sim.Pid()) + "/status");
    const size_t rss = status.find("VmRSS:");
    ASSERT_NE(rss, std::string::npos);
    EXPECT_LT(std::atol(status.c_str() + rss + 6), 64 * 1024) << "kB resident";
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(FeedSimAdminTest, NotConnectedUntilTheLoginDelayThenConnected) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--login-delay", "0.4", "--login", "john doe"}));
    CClient client(sim.admin);
    client.ReceiveUntil("", 2500);
    const std::vector<std::string> lines = LfLines(client.text);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(AdminState(lines.front()), "Not Connected");
    EXPECT_EQ(AdminState(lines.back()), "Connected");
    for (const std::string& line : lines) {
        EXPECT_NE(AdminState(line), "") << line;
        EXPECT_EQ(SplitAll(line)[14], "john doe");
    }
}

struct FaultCase {
    const char* name;
    std::vector<std::string> options;
};

TEST(FeedSimFaultTest, LookupFaults) {
    {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start({"--now", kNow, "--fault-lookup-close-after", "5"}));
        CClient client(sim.lookup);
        client.Send("HDX,ABC,,1\r\n");
        const std::vector<std::string> lines = CrLfLines(client.ReceiveUntil("", 5000));
        EXPECT_TRUE(client.closed);
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(CheckDayBarLine(lines[4]), "");
    }
    {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start({"--now", kNow, "--fault-no-end-line", "--history-lines", "20"}));
        CClient client(sim.lookup);
        client.Send("HTT,ABC,,,,,,1\r\n");
        const std::vector<std::string> lines = CrLfLines(client.ReceiveUntil("", 500));
        EXPECT_FALSE(client.closed);
        EXPECT_EQ(lines.size(), 20u);
        EXPECT_EQ(client.text.find("!ENDMSG!"), std::string::npos);
    }
    {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start({"--now", kNow, "--fault-one-byte", "--fault-byte-gap-us", "2000",
                               "--history-lines", "2"}));
        CClient client(sim.lookup);
        client.Send("HDX,ABC,,1\r\n");
        const std::string text = client.ReceiveUntil("!ENDMSG!,\r\n", 10000);
        const std::vector<std::string> lines = CrLfLines(text);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(CheckDayBarLine(lines[0]), "");
        EXPECT_GT(client.receives, static_cast<int>(text.size()) / 2) << "bytes came one by one";
    }
    {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start({"--now", kNow, "--fault-garbage", "--history-lines", "50"}));
        CClient client(sim.lookup);
        client.Send("HTT,ABC,,,,,,1\r\n");
        const std::string text = client.ReceiveUntil("!ENDMSG!,\r\n", 10000);
        EXPECT_NE(text.find('\0'), std::string::npos);
        int data = 0, longest = 0;
        for (const std::string& line : CrLfLines(text)) {
            longest = std::max(longest, static_cast<int>(line.size()));
            if (!line.empty() && line[0] >= '0' && line[0] <= '9') {
                ASSERT_EQ(CheckTickLine(line), "") << line;
                ++data;
            } else if (line != "!ENDMSG!,") {
                EXPECT_FALSE(line[0] == 'E' || (line.size() > 1 && line[1] == ','))
                    << "looks like an end line";
            }
        }
        EXPECT_EQ(data, 50);
        EXPECT_GT(longest, 65536);
        EXPECT_EQ(sim.Stop(), 0);
    }
}

TEST(FeedSimFaultTest, LevelOneAndAdminFaults) {
    {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start({"--fault-no-cust"}));
        CClient client(sim.level1);
        EXPECT_EQ(client.ReceiveUntil("\r\n", 5000), "S,SERVER CONNECTED\r\n");
        client.ReceiveUntil("", 200);
        EXPECT_EQ(client.text.find("CUST"), std::string::npos);
    }
    {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start({"--fault-level1-close-after", "4", "--update-rate", "100"}));
        CClient client(sim.level1);
        client.Send("wABC\r\n");
        const std::vector<std::string> lines = CrLfLines(client.ReceiveUntil("", 5000));
        EXPECT_TRUE(client.closed);
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[2].substr(0, 2), "P,");
        EXPECT_EQ(lines[3].substr(0, 2), "Q,");
    }
    {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start({"--fault-garbage", "--fault-long-line", "100000"}));
        CClient client(sim.level1);
        client.ReceiveUntil("~~~\r\n", 5000);
        EXPECT_NE(client.text.find(std::string(100000, 'X')), std::string::npos);
        EXPECT_EQ(client.text.rfind("S,CUST", 0), 0u) << "garbage comes after the customer line";
    }
    {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start({"--fault-never-connected", "--login-delay", "0"}));
        CClient client(sim.admin);
        client.ReceiveUntil("", 1500);
        const std::vector<std::string> lines = LfLines(client.text);
        ASSERT_GE(lines.size(), 1u);
        for (const std::string& line : lines) {
            EXPECT_EQ(AdminState(line), "Not Connected");
        }
    }
    {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start({"--fault-admin-close"}));
        CClient client(sim.admin);
        client.ReceiveUntil("", 3000);
        EXPECT_TRUE(client.closed);
        EXPECT_EQ(client.text, "");
    }
    for (const char* port : {"lookup", "level1", "admin"}) {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start({"--no-listen", port}));
        const int number = std::string(port) == "lookup"   ? sim.lookup
                           : std::string(port) == "level1" ? sim.level1
                                                           : sim.admin;
        EXPECT_EQ(number, -1) << port;
        EXPECT_GT(sim.lookup + sim.level1 + sim.admin, 0);
    }
}

TEST(FeedSimProcessTest, StopsCleanlyOnSigtermAndSigintAndRemovesItsPidFile) {
    for (int signal : {SIGTERM, SIGINT}) {
        CSimProcess sim;
        const std::string dir = MakeTempDir();
        const std::string pidFile = dir + "/sim.pid";
        ASSERT_TRUE(sim.Start({"--pid-file", pidFile}));
        EXPECT_EQ(std::atoi(ReadFile(pidFile).c_str()), sim.Pid());
        CClient open(sim.level1);
        open.Send("wABC\r\n");
        EXPECT_EQ(sim.Stop(signal), 0);
        EXPECT_NE(access(pidFile.c_str(), F_OK), 0);
        std::system(("rm -rf '" + dir + "'").c_str());
    }
    // A port already taken makes it fail with a message, not hang.
    CSimProcess first;
    ASSERT_TRUE(first.Start({}));
    const std::string dir = MakeTempDir();
    const pid_t second = Spawn(ORVELLA_FEED_SIM_PATH,
                               {"--lookup-port", std::to_string(first.lookup), "--level1-port", "0",
                                "--admin-port", "0", "--log", "none"},
                               dir + "/out");
    EXPECT_EQ(WaitExit(second, 5000), 1);
    EXPECT_NE(ReadFile(dir + "/out").find("cannot listen"), std::string::npos);
    std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
}  // namespace feedsim_test
