// Live streaming through the stand-in host and the stand-in feed client:
// nst-host loads the shipped plug-in, hands it credentials (which switches
// streaming on), requests series and pumps; orvella-feed-sim answers the
// history requests and streams level-one lines. Checks the rows the host
// recorded, in record order, the plug-in's log and what the feed client
// received.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "settings/registry_access.h"
#include "settings/settings_keys.h"

extern char** environ;

namespace orvella {
namespace {

namespace fs = std::filesystem;

// A Wednesday; the feed's clock starts at the time of day each test picks.
constexpr char kTradingDay[] = "2024-03-06";
constexpr char kStart[] = "2024-03-01";
constexpr char kWatchFailed[] = "The symbol watch for level one streaming data failed";
constexpr char kNotReady[] = "No watch command sent since Level One socket was not ready!";
constexpr char kSent[] = "Level One sucessful SendRequest";
constexpr size_t kNone = std::string::npos;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> ReadLines(const fs::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != kNone; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The raw text of a field of one record line ("interval":-5 gives "-5").
std::string Field(const std::string& line, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    const size_t at = line.find(key);
    if (at == kNone) {
        return std::string();
    }
    const size_t from = at + key.size();
    if (line[from] == '"') {
        return line.substr(from + 1, line.find('"', from + 1) - from - 1);
    }
    size_t to = from;
    while (to < line.size() && line[to] != ',' && line[to] != '}') {
        ++to;
    }
    return line.substr(from, to - from);
}

bool IsCall(const std::string& line, const std::string& call) {
    return line.rfind("{\"call\":\"" + call + "\"", 0) == 0;
}

// "HH:MM:SS" of a host day count.
int SecondOfDay(const std::string& dayCount) {
    const double days = std::stod(dayCount);
    return static_cast<int>(std::llround((days - std::floor(days)) * 86400.0));
}

// "YYYY-MM-DD" of the local date days ago.
std::string LocalDate(int daysAgo) {
    const std::time_t then = std::time(nullptr) - static_cast<std::time_t>(daysAgo) * 86400;
    std::tm parts{};
    localtime_r(&then, &parts);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
    return text;
}

pid_t Spawn(const std::vector<std::string>& args, const fs::path& output) {
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (std::string& arg : copy) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The exit code, or -1 when the process had to be killed after limitSeconds.
int WaitForExit(pid_t pid, int limitSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One committed row: the values set for its series since the previous
// commit, by column (1 to 4).
struct CRow {
    std::string symbol;
    std::string interval;
    std::string values[5];
    size_t line = 0;       // index of its NSTCOMMITROW in the record
    bool history = false;  // committed inside a request, after its series was announced

    std::string Key() const { return values[1] + "," + values[2] + "," + values[3]; }
};

// What nst-host recorded, with the rows put together.
struct CRun {
    std::vector<std::string> record;
    std::vector<CRow> rows;
    int hostExit = -1;

    // Index of the n-th (from 0) record line of this call, or kNone.
    size_t Find(const std::string& call, int n = 0, const std::string& symbol = "") const {
        for (size_t i = 0; i < record.size(); ++i) {
            if (IsCall(record[i], call) &&
                (symbol.empty() || Field(record[i], "symbol") == symbol) && n-- == 0) {
                return i;
            }
        }
        return kNone;
    }

    // Rows of the series (every series of the symbol when interval is
    // empty) committed after record line from and before to.
    std::vector<CRow> Rows(const std::string& symbol, const std::string& interval, size_t from,
                           size_t to = kNone, bool streamedOnly = false) const {
        std::vector<CRow> found;
        for (const CRow& row : rows) {
            if (row.symbol == symbol && (interval.empty() || row.interval == interval) &&
                (from == kNone || row.line > from) && row.line < to &&
                !(streamedOnly && row.history)) {
                found.push_back(row);
            }
        }
        return found;
    }

    // The rows that arrived from the level-one stream, in record order.
    std::vector<CRow> Streamed(const std::string& symbol, const std::string& interval) const {
        return Rows(symbol, interval, kNone, kNone, true);
    }
};

struct CFeedSetup {
    std::string day = kTradingDay;
    std::string clock = "11:00:00";  // time of day on kTradingDay
    std::string rate = "20";         // updates per second per symbol
    std::string historyLines = "20";
    std::vector<std::string> extra;
    int32_t extendedTrade = 0;
    std::string beginFilter = "000000";
    std::string endFilter = "235959";
};

class LevelOneEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        m_root = fs::temp_directory_path() /
                 ("orvella-level-one-e2e-" + std::to_string(getpid()) + "-" + name);
        fs::remove_all(m_root);
        fs::create_directories(m_root);
        setenv("ORVELLA_REGISTRY", (m_root / "registry.db").c_str(), 1);
        setenv("HOME", m_root.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", m_root.c_str(), 1);
        unsetenv("ORVELLA_FEED_SIM_ARGS");
        // The plug-in launches Orvalink.exe from PATH; it finds our feed
        // client running through the pid file and the admin port.
        const char* path = getenv("PATH");
        setenv("PATH",
               (fs::path(NST_HOST_PATH).parent_path().string() + ":" +
                (path != nullptr ? path : "/usr/bin:/bin"))
                   .c_str(),
               1);
        WriteRegDword(1, std::string(kLoggingPathA));
        WriteRegString(std::string(kNovaScopeRootPathA), m_root.string());
        WriteRegDword(1, std::string(kStreamingPathA));
    }

    void TearDown() override {
        if (m_sim > 0) {
            kill(m_sim, SIGTERM);
            WaitForExit(m_sim, 10);
        }
        // A feed client the launcher started itself must not outlive the test.
        const std::string launched = ReadFile(PidFile());
        if (!launched.empty() && std::stoi(launched) != m_sim) {
            kill(std::stoi(launched), SIGTERM);
        }
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    // Starts the feed client stand-in on free lookup and level-one ports and
    // the fixed admin port that the plug-in's login uses, and writes the
    // ports and the streaming settings for the plug-in.
    void StartFeed(const CFeedSetup& setup) {
        std::vector<std::string> args{ORVELLA_FEED_SIM_PATH,
                                      "--lookup-port",
                                      "0",
                                      "--level1-port",
                                      "0",
                                      "--admin-port",
                                      "9300",
                                      "--login-delay",
                                      "0",
                                      "--ready-file",
                                      (m_root / "ready").string(),
                                      "--log",
                                      (m_root / "sim.log").string(),
                                      "--pid-file",
                                      PidFile().string(),
                                      "--update-rate",
                                      setup.rate,
                                      "--history-lines",
                                      setup.historyLines,
                                      "--now",
                                      setup.day + "T" + setup.clock};
        args.insert(args.end(), setup.extra.begin(), setup.extra.end());
        // The fixed admin port may still be held by a previous run; the feed
        // client then exits at once and is started again.
        for (int attempt = 0; attempt < 60 && !fs::exists(m_root / "ready"); ++attempt) {
            m_sim = Spawn(args, m_root / "sim.out");
            int status = 0;
            for (int i = 0; i < 500 && !fs::exists(m_root / "ready"); ++i) {
                if (waitpid(m_sim, &status, WNOHANG) == m_sim) {
                    m_sim = -1;
                    std::this_thread::sleep_for(std::chrono::milliseconds(500));
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        ASSERT_TRUE(fs::exists(m_root / "ready"));
        for (const std::string& line : ReadLines(m_root / "ready")) {
            const std::string value = line.substr(line.find('=') + 1);
            if (line.rfind("lookup=", 0) == 0) {
                WriteRegString(std::string(kStartupKeyA) + "\\LookupPort", value);
            } else if (line.rfind("level1=", 0) == 0) {
                WriteRegString(std::string(kStartupKeyA) + "\\Level1Port", value);
            }
        }
        WriteRegDword(setup.extendedTrade, std::string(kExtendedTradePathA));
        WriteRegString(std::string(kBeginFilterTimePathA), setup.beginFilter);
        WriteRegString(std::string(kEndFilterTimePathA), setup.endFilter);
    }

    // Runs nst-host with credentials first, then the commands.
    CRun RunHost(const std::vector<std::string>& commands, int limitSeconds = 50) {
        std::vector<std::string> args{NST_HOST_PATH,
                                      "--quiet",
                                      "--count-only",
                                      "--record",
                                      (m_root / "record.jsonl").string(),
                                      "-c",
                                      "credentials user secret"};
        for (const std::string& command : commands) {
            args.push_back("-c");
            args.push_back(command);
        }
        args.push_back(ORVELLA_PLUGIN_PATH);
        CRun run;
        run.hostExit = WaitForExit(Spawn(args, m_root / "host.out"), limitSeconds);
        run.record = ReadLines(m_root / "record.jsonl");
        std::map<std::pair<std::string, std::string>, CRow> building;
        // A request's history rows follow its announcement and come before
        // the export returns (streamed lines are held meanwhile).
        bool inRequest = false;
        for (size_t i = 0; i < run.record.size(); ++i) {
            const std::string& line = run.record[i];
            if (IsCall(line, "NSTSETUPDATA") || IsCall(line, "RequestTicker")) {
                inRequest = IsCall(line, "NSTSETUPDATA");
            }
            const bool value = IsCall(line, "NSTSETVALUE");
            if (!value && !IsCall(line, "NSTCOMMITROW")) {
                continue;
            }
            CRow& row = building[{Field(line, "symbol"), Field(line, "interval")}];
            if (value) {
                const int column = std::stoi(Field(line, "column"));
                if (column >= 1 && column <= 4) {
                    row.values[column] = Field(line, "value");
                }
                continue;
            }
            row.symbol = Field(line, "symbol");
            row.interval = Field(line, "interval");
            row.line = i;
            row.history = inRequest;
            run.rows.push_back(row);
            row = CRow();
        }
        return run;
    }

    std::string PluginLog() {
        std::string text;
        for (const auto& entry : fs::directory_iterator(m_root)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("OrvellaForNST", 0) == 0 && entry.path().extension() == ".log") {
                text += ReadFile(entry.path());
            }
        }
        return text;
    }

    std::string FeedLog() { return ReadFile(m_root / "sim.log"); }

    // A replayed day-bar history of three bars, the last one lastDaysAgo
    // days before the local date.
    void WriteDayBars(const std::string& file, int lastDaysAgo) {
        fs::create_directories(m_root / "data");
        std::ofstream out(m_root / "data" / file);
        for (int back = lastDaysAgo + 2; back >= lastDaysAgo; --back) {
            out << LocalDate(back) << ",101.50,99.25,100.00,101.00,250000,0,\r\n";
        }
    }

    CFeedSetup BeforeTheSessionToday() {
        CFeedSetup setup;
        setup.day = LocalDate(0);
        setup.clock = "08:00:00";
        setup.extra = {"--data-dir", (m_root / "data").string()};
        return setup;
    }

    fs::path PidFile() const {
        return m_root / ("orvella-feed-sim-" + std::to_string(getuid()) + ".pid");
    }

    fs::path m_root;
    pid_t m_sim = -1;
};

void ExpectResult(const CRun& run, const std::string& call, int n, const std::string& result) {
    const size_t at = run.Find(call, n);
    ASSERT_NE(at, kNone) << call << " #" << n;
    EXPECT_EQ(Field(run.record[at], "result"), result) << run.record[at];
}

// Streamed trades of one symbol at two bar intervals: each trade is one row
// in the first requested series, then the same row in the second. Removing
// the first interval keeps the second streaming; removing the last one
// unwatches the symbol at the feed client.
TEST_F(LevelOneEndToEnd, WatchedIntervalsGetEachTradeInRequestOrderUntilRemoved) {
    StartFeed(CFeedSetup{});
    const std::string start = std::string(" ") + kStart;
    const CRun run = RunHost({"request ABC 5" + start, "request ABC 1" + start, "pump 1.5",
                              "remove ABC 5", "pump 1", "remove ABC 1", "pump 0.5"});
    EXPECT_EQ(run.hostExit, 0);
    ExpectResult(run, "UserIDPasswordChanged", 0, "-1");
    ExpectResult(run, "RequestTicker", 0, "1");
    ExpectResult(run, "RequestTicker", 1, "1");

    // The watch went out after the feed client's customer-information line:
    // the plug-in saw the system line that follows it before sending.
    const std::string log = PluginLog();
    EXPECT_EQ(CountOf(log, kSent), 2u);
    const size_t connected = log.find(",SERVER CONNECTED");
    ASSERT_NE(connected, kNone) << log;
    EXPECT_LT(log.find("OnConnect called"), connected);
    EXPECT_LT(connected, log.find(kSent));
    const std::string feed = FeedLog();
    EXPECT_EQ(CountOf(feed, ": watch ABC"), 2u);
    EXPECT_EQ(CountOf(feed, ": unwatch ABC"), 1u);

    const size_t second = run.Find("RequestTicker", 1);
    const size_t firstRemove = run.Find("RemoveTicker", 0);
    const size_t lastRemove = run.Find("RemoveTicker", 1);
    ASSERT_NE(lastRemove, kNone);
    const std::vector<CRow> both = run.Rows("ABC", "", second, firstRemove);
    ASSERT_GE(both.size(), 4u);
    ASSERT_EQ(both.size() % 2, 0u);
    for (size_t i = 0; i < both.size(); i += 2) {
        EXPECT_EQ(both[i].interval, "-5");
        EXPECT_EQ(both[i + 1].interval, "-1");
        EXPECT_EQ(both[i].Key(), both[i + 1].Key());
        EXPECT_NE(both[i].values[3], "0");  // a trade's size
    }
    EXPECT_TRUE(run.Rows("ABC", "-5", firstRemove, lastRemove).empty());
    EXPECT_FALSE(run.Rows("ABC", "-1", firstRemove, lastRemove).empty());
    EXPECT_TRUE(run.Rows("ABC", "", lastRemove).empty());
}

// The tick series gets the ask pair (type 4) and the bid pair (type 2)
// before a trade (type 0) whenever the pair changed since it was last sent;
// the first trade brings both.
TEST_F(LevelOneEndToEnd, TickSeriesGetsQuoteRowsWhenThePairsChange) {
    StartFeed(CFeedSetup{});
    const CRun run = RunHost({std::string("request ABC 0 ") + kStart, "pump 2"});
    EXPECT_EQ(run.hostExit, 0);
    ExpectResult(run, "RequestTicker", 0, "1");
    const std::vector<CRow> rows = run.Rows("ABC", "-0.0", run.Find("RequestTicker"));
    ASSERT_GE(rows.size(), 6u);
    EXPECT_EQ(rows[0].values[4], "4");
    EXPECT_EQ(rows[1].values[4], "2");
    EXPECT_EQ(rows[2].values[4], "0");
    std::string lastAsk, lastBid, previousType = "0";
    int trades = 0;
    for (const CRow& row : rows) {
        const std::string& type = row.values[4];
        const std::string pair = row.values[2] + "," + row.values[3];
        if (type == "4") {
            EXPECT_EQ(previousType, "0") << "an ask row follows a trade";
            EXPECT_NE(pair, lastAsk) << "unchanged ask pair sent again";
            lastAsk = pair;
        } else if (type == "2") {
            EXPECT_NE(previousType, "2");
            EXPECT_NE(pair, lastBid) << "unchanged bid pair sent again";
            lastBid = pair;
        } else {
            EXPECT_EQ(type, "0");
            ++trades;
        }
        previousType = type;
    }
    EXPECT_EQ(previousType, "0") << "quote rows come only with a trade";
    EXPECT_GE(trades, 10);
}

// The gates a streamed trade passes: the extended-trade setting for trades
// marked extended (the feed marks every trade outside 09:30-16:00), and the
// trade-time filter on the trade's time of day.
struct GateCase {
    const char* name;
    const char* clock;
    int32_t extendedTrade;
    const char* beginFilter;
    const char* endFilter;
    bool rows;
};

void PrintTo(const GateCase& c, std::ostream* out) {
    *out << c.name;
}

class LevelOneEndToEndGates : public LevelOneEndToEnd,
                              public ::testing::WithParamInterface<GateCase> {};

TEST_P(LevelOneEndToEndGates, TradesBecomeRowsOnlyThroughBothGates) {
    const GateCase& c = GetParam();
    CFeedSetup setup;
    setup.clock = c.clock;
    setup.extendedTrade = c.extendedTrade;
    setup.beginFilter = c.beginFilter;
    setup.endFilter = c.endFilter;
    StartFeed(setup);
    const CRun run = RunHost({std::string("request ABC 5 ") + kStart, "pump 2"});
    EXPECT_EQ(run.hostExit, 0);
    ExpectResult(run, "RequestTicker", 0, "1");
    EXPECT_EQ(CountOf(PluginLog(), kSent), 1u);
    const std::vector<CRow> rows = run.Rows("ABC", "-5", run.Find("RequestTicker"));
    if (c.rows) {
        EXPECT_GE(rows.size(), 10u);
    } else {
        EXPECT_TRUE(rows.empty()) << rows.size() << " rows, first " << rows.front().Key();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Gates, LevelOneEndToEndGates,
    ::testing::Values(GateCase{"regular_session", "11:00:00", 0, "000000", "235959", true},
                      GateCase{"extended_hours_left_out", "18:00:00", 0, "000000", "235959", false},
                      GateCase{"extended_hours_wanted", "18:00:00", 1, "000000", "235959", true},
                      GateCase{"filter_ends_before_now", "11:00:00", 0, "093000", "103000", false},
                      GateCase{"filter_begins_after_now", "11:00:00", 0, "120000", "160000", false},
                      GateCase{"filter_holds_now", "11:00:00", 0, "103000", "120000", true},
                      GateCase{"filter_end_left_open", "11:00:00", 0, "120000", "235959", true}),
    [](const ::testing::TestParamInfo<GateCase>& info) { return std::string(info.param.name); });

// Day-summary rows: four rows (open, high, low with no volume, then the last
// price with the day's volume, which is 0 before the first trade of the day) for the first
// daily-or-longer entry without them, unless the daily history just loaded ended with today's bar.
// The day-bar histories are replayed from files dated from the local date, which the plug-in takes
// as today; the feed's clock stands at 08:00 so that every streamed trade is an extended one and,
// with ExtendedTrade 0, sends no row.
TEST_F(LevelOneEndToEnd, DaySummaryGoesOnceToEachDailyOrLongerEntry) {
    WriteDayBars("ABC.HDX", 1);
    WriteDayBars("ABC.HWX", 7);
    StartFeed(BeforeTheSessionToday());
    const std::string start = std::string(" ") + kStart;
    const CRun run = RunHost({"request ABC 1440" + start, "pump 1", "request ABC 10080" + start,
                              "pump 1", "request ABC 1440" + start, "pump 1"});
    EXPECT_EQ(run.hostExit, 0);
    for (int n = 0; n < 3; ++n) {
        ExpectResult(run, "RequestTicker", n, "1");
    }
    for (const char* series : {"-1440", "-10080"}) {
        const std::vector<CRow> rows = run.Streamed("ABC", series);
        ASSERT_EQ(rows.size(), 4u) << series;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(rows[i].values[3], "0") << series;
        }
        const double open = std::stod(rows[0].values[2]);
        const double high = std::stod(rows[1].values[2]);
        const double low = std::stod(rows[2].values[2]);
        const double last = std::stod(rows[3].values[2]);
        EXPECT_GE(high, std::max(open, last)) << series;
        EXPECT_LE(low, std::min(open, last)) << series;
        for (const CRow& row : rows) {
            EXPECT_EQ(row.values[1], rows[0].values[1]);
        }
    }
    // The weekly entry's rows came with the second watch's summary line; the
    // third watch's summary line found no entry left to serve.
    EXPECT_GT(run.Streamed("ABC", "-10080").front().line, run.Find("RequestTicker", 1));
}

TEST_F(LevelOneEndToEnd, NoDaySummaryWhenTheDailyHistoryHoldsToday) {
    WriteDayBars("ABC.HDX", 0);
    WriteDayBars("DEF.HDX", 1);
    StartFeed(BeforeTheSessionToday());
    const std::string start = std::string(" ") + kStart;
    const CRun run = RunHost({"request ABC 1440" + start, "request DEF 1440" + start, "pump 1"});
    EXPECT_EQ(run.hostExit, 0);
    EXPECT_EQ(run.Streamed("ABC", "-1440").size(), 0u);
    EXPECT_EQ(run.Streamed("DEF", "-1440").size(), 4u);
}

// While a second symbol's history loads (slowed to a few seconds), the first
// symbol's lines are held; they reach the host after that load's history
// rows, in arrival order, with none lost.
TEST_F(LevelOneEndToEnd, LinesHeldDuringAHistoryLoadFollowItInArrivalOrder) {
    CFeedSetup setup;
    setup.historyLines = "60";
    setup.extra = {"--fault-one-byte", "--fault-byte-gap-us", "600"};
    StartFeed(setup);
    const std::string start = std::string(" ") + kStart;
    const CRun run = RunHost({"request ABC 5" + start, "request DEF 5" + start, "pump 1"});
    EXPECT_EQ(run.hostExit, 0);
    ExpectResult(run, "RequestTicker", 0, "1");
    ExpectResult(run, "RequestTicker", 1, "1");

    const size_t defSetup = run.Find("NSTSETUPDATA", 0, "DEF");
    const size_t defDone = run.Find("RequestTicker", 1);
    ASSERT_NE(defSetup, kNone);
    EXPECT_EQ(run.Rows("DEF", "-5", defSetup, defDone).size(), 4u * 60);
    EXPECT_TRUE(run.Rows("ABC", "", defSetup, defDone).empty());

    // Trade times to the second, at about 14 trades a second: a lost stretch
    // of the DEF load would leave a gap of several seconds.
    const std::vector<CRow> rows = run.Rows("ABC", "-5", run.Find("RequestTicker"));
    ASSERT_GE(rows.size(), 30u);
    const int first = SecondOfDay(rows.front().values[1]);
    const int last = SecondOfDay(rows.back().values[1]);
    EXPECT_GE(last - first, 3) << "the DEF load took less time than expected";
    size_t afterDef = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) {
            const int step = SecondOfDay(rows[i].values[1]) - SecondOfDay(rows[i - 1].values[1]);
            EXPECT_GE(step, 0) << "row " << i << " out of order";
            EXPECT_LE(step, 1) << "rows missing before row " << i;
        }
        afterDef += rows[i].line > defDone ? 1 : 0;
    }
    EXPECT_GT(afterDef, 14u * 2);
}

// An unknown symbol: the feed client answers the watch with "Not Found", the
// plug-in logs it and the host gets no row for it.
TEST_F(LevelOneEndToEnd, UnknownSymbolIsLoggedAndGetsNoRows) {
    StartFeed(CFeedSetup{});
    const std::string start = std::string(" ") + kStart;
    const CRun run = RunHost({"request ABC 5" + start, "request BADX 5" + start, "pump 1"});
    EXPECT_EQ(run.hostExit, 0);
    EXPECT_NE(PluginLog().find("Symbol BADX was Not Found"), kNone);
    EXPECT_EQ(CountOf(FeedLog(), ": watch BADX"), 1u);
    EXPECT_TRUE(run.Rows("BADX", "", run.Find("RequestTicker", 1)).empty());
    EXPECT_FALSE(run.Rows("ABC", "-5", run.Find("RequestTicker", 1)).empty());
}

// After the feed client closed the level-one connection, the plug-in does not
// reconnect: the next watch fails on the closed socket, the request is
// refused with the box, and no series is announced for it.
TEST_F(LevelOneEndToEnd, ClosedLevelOneConnectionFailsTheNextWatch) {
    CFeedSetup setup;
    setup.extra = {"--fault-level1-close-after", "6"};
    StartFeed(setup);
    const std::string start = std::string(" ") + kStart;
    const CRun run = RunHost({"request ABC 5" + start, "pump 1", "request DEF 5" + start});
    EXPECT_EQ(run.hostExit, 0);
    ExpectResult(run, "RequestTicker", 0, "1");
    ExpectResult(run, "RequestTicker", 1, "0");
    EXPECT_EQ(run.Rows("ABC", "-5", kNone, run.Find("RequestTicker")).size(), 4u * 20);
    EXPECT_EQ(run.Find("NSTSETUPDATA", 0, "DEF"), kNone);
    const size_t box = run.Find("MessageBox");
    ASSERT_NE(box, kNone);
    EXPECT_EQ(Field(run.record[box], "text"), kWatchFailed);
    EXPECT_NE(FeedLog().find("closing after 6 lines (fault)"), kNone);
    const std::string log = PluginLog();
    const size_t watch = log.find("Watching symbol DEF");
    ASSERT_NE(watch, kNone);
    EXPECT_NE(log.find("The descriptor is not a socket.", watch), kNone) << log.substr(watch);
    EXPECT_EQ(log.find(kNotReady), kNone);
}

// Without the customer-information line the watch waits its whole bounded
// time (320 waits of 250 ms) and gives up without sending anything.
TEST_F(LevelOneEndToEnd, WatchGivesUpWithoutCustomerInformation) {
    CFeedSetup setup;
    setup.extra = {"--fault-no-cust"};
    StartFeed(setup);
    const auto begin = std::chrono::steady_clock::now();
    const CRun run = RunHost({std::string("request ABC 5 ") + kStart}, 140);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_EQ(run.hostExit, 0);
    ExpectResult(run, "RequestTicker", 0, "0");
    EXPECT_GE(seconds, 80.0);
    EXPECT_EQ(run.Find("NSTSETUPDATA"), kNone);
    const size_t box = run.Find("MessageBox");
    ASSERT_NE(box, kNone);
    EXPECT_EQ(Field(run.record[box], "text"), kWatchFailed);
    const std::string log = PluginLog();
    EXPECT_NE(log.find(kNotReady), kNone);
    EXPECT_LT(log.find(kNotReady), log.find(kWatchFailed));
    EXPECT_EQ(log.find(kSent), kNone);
    EXPECT_EQ(CountOf(FeedLog(), ": watch ABC"), 0u);
}

}  // namespace
}  // namespace orvella
