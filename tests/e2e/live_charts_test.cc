// Charts left open all day: the plug-in in the stand-in host against a feed
// client that is still starting, that streams at its full rate through a long
// history load, and whose level-one connection goes away and comes back.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "testing/loopback.h"
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

// Waits until the plug-in's log holds text count times (or the time is up).
void WaitForPluginLog(const CPrivateEnvironment& env, const std::string& text, int timeoutMs,
                      size_t count = 1) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(env.HostRoot(), ignored)) {
            if (entry.path().extension() == ".log" &&
                CountOf(ReadWholeFile(entry.path().string()), text) >= count) {
                return;
            }
        }
        Sleep(10);
    }
}

// The feed client's history reply lines for a request, without the end line.
std::vector<std::string> FeedHistory(int port, const std::string& request) {
    std::vector<std::string> lines;
    const int fd = testing::ConnectLoopback(static_cast<uint16_t>(port));
    if (fd < 0) {
        return lines;
    }
    const std::string line = request + "\r\n";
    send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    std::string text;
    char buffer[65536];
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (text.find("!ENDMSG!") == std::string::npos && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) != 1) {
            continue;
        }
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    size_t pos = 0;
    for (size_t nl; (nl = text.find("\r\n", pos)) != std::string::npos; pos = nl + 2) {
        if (text.compare(pos, 8, "!ENDMSG!") != 0) {
            lines.push_back(text.substr(pos, nl - pos));
        }
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    size_t pos = 0;
    for (size_t comma; (comma = line.find(',', pos)) != std::string::npos; pos = comma + 1) {
        fields.push_back(line.substr(pos, comma - pos));
    }
    fields.push_back(line.substr(pos));
    return fields;
}

// Seconds since the host's day zero (1899-12-30) of a history date field
// ("YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS") and of a row's day count.
long long HistorySeconds(const std::string& field) {
    using namespace std::chrono;
    const year_month_day date{year{std::stoi(field.substr(0, 4))},
                              month{static_cast<unsigned>(std::stoi(field.substr(5, 2)))},
                              day{static_cast<unsigned>(std::stoi(field.substr(8, 2)))}};
    long long seconds = (sys_days{date} - sys_days{year{1899} / 12 / 30}).count() * 86400LL;
    if (field.size() >= 19) {
        seconds += std::stoi(field.substr(11, 2)) * 3600 + std::stoi(field.substr(14, 2)) * 60 +
                   std::stoi(field.substr(17, 2));
    }
    return seconds;
}
long long RowSeconds(const CRow& row) {
    return std::llround(row.values[0] * 86400.0);
}

// A trade: its second, price and size.
struct CTrade {
    long long second;
    double price;
    double size;
    bool operator==(const CTrade& o) const {
        return second == o.second && std::abs(price - o.price) < 1e-9 && size == o.size;
    }
};
// The trades from a few before index to a few after, one per line.
std::string Around(const char* name, const std::vector<CTrade>& trades, size_t index) {
    std::ostringstream out;
    const size_t end = std::min(trades.size(), index + 6);
    for (size_t i = index < 6 ? 0 : index - 6; i < end; ++i) {
        out << name << ' ' << i << ": " << trades[i].second % 86400 << ' ' << trades[i].price << ' '
            << trades[i].size << '\n';
    }
    return out.str();
}
CTrade TradeOf(const CRow& row) {
    return {RowSeconds(row), row.values[1], row.values[2]};
}

// The charts hold what the feed client's history says once it is past: the
// tick chart each trade once and in order, the bar charts each bar's volume
// (the last bar as far as the chart's last trade). day is the feed's date
// (YYYYMMDD), tickStart (HHMMSS) where the tick chart starts.
void ExpectChartsAgreeWithTheFeed(const CHostRun& run, int lookupPort, const std::string& day,
                                  const std::string& tickStart) {
    std::vector<CTrade> feed;
    std::vector<long long> dayVolume;
    for (const std::string& line :
         FeedHistory(lookupPort, "HTT,ABC," + day + " " + tickStart + ",,,,,1")) {
        const std::vector<std::string> f = Fields(line);
        feed.push_back({HistorySeconds(f[0]), std::stod(f[1]), std::stod(f[2])});
        dayVolume.push_back(std::stoll(f[3]));
    }
    ASSERT_GT(feed.size(), 100u);
    std::vector<CTrade> charted;
    for (const CRow& row : run.Rows("ABC", "-0.0", kNone)) {
        if (row.values.size() == 4 && row.values[3] == 0.0) {
            charted.push_back({RowSeconds(row), row.values[1], row.values[2]});
        }
    }
    ASSERT_FALSE(charted.empty());
    ASSERT_LE(charted.size(), feed.size());
    for (size_t i = 0; i < charted.size(); ++i) {
        ASSERT_TRUE(charted[i] == feed[i])
            << "tick chart trade " << i << " of " << charted.size() << ", at second "
            << charted[i].second % 86400 << " of the day\n"
            << Around("charted", charted, i) << Around("feed", feed, i);
    }

    struct CBars {
        const char* series;
        std::string request;
        long long seconds;  // the bar's length
        size_t volumeField;
    };
    const CBars charts[] = {
        {"-1", "HIT,ABC,60," + day + " 000000,,,,,1", 60, 6},
        {"-5", "HIT,ABC,300," + day + " 000000,,,,,1", 300, 6},
        {"-1440", "HDX,ABC,,1", 86400, 5},
    };
    for (const CBars& c : charts) {
        std::map<long long, double> feedBars;
        for (const std::string& line : FeedHistory(lookupPort, c.request)) {
            const std::vector<std::string> f = Fields(line);
            feedBars[HistorySeconds(f[0])] = std::stod(f[c.volumeField]);
        }
        const std::vector<CRow> rows = run.Rows("ABC", c.series, kNone);
        ASSERT_GE(rows.size(), 3u) << c.series;
        std::map<long long, double> chartBars;
        for (const CRow& row : rows) {
            if (RowSeconds(row) >= feedBars.begin()->first) {
                chartBars[RowSeconds(row) / c.seconds * c.seconds] += row.values[2];
            }
        }
        // The chart's last trade, found among the feed's by the last three.
        // Trades can repeat within a second, so the three may occur more than
        // once there: where they end at the tick chart's last trade (every
        // chart of the symbol got it), that is the place.
        const size_t n = rows.size();
        const CTrade tail[] = {TradeOf(rows[n - 3]), TradeOf(rows[n - 2]), TradeOf(rows[n - 1])};
        auto at = std::search(feed.begin(), feed.end(), std::begin(tail), std::end(tail));
        const size_t tickLast = charted.size() - 1;
        if (tickLast >= 2 &&
            std::equal(std::begin(tail), std::end(tail), feed.begin() + (tickLast - 2))) {
            at = feed.begin() + (tickLast - 2);
        }
        ASSERT_NE(at, feed.end()) << c.series << ": the last rows are no run of the feed's trades";
        const size_t last = static_cast<size_t>(at - feed.begin()) + 2;
        const long long lastBar = chartBars.rbegin()->first;
        double lastVolume = 0;
        if (c.seconds == 86400) {
            lastVolume = static_cast<double>(dayVolume[last]);
        } else {
            for (size_t i = 0; i <= last; ++i) {
                lastVolume += feed[i].second / c.seconds * c.seconds == lastBar ? feed[i].size : 0;
            }
        }
        feedBars[lastBar] = lastVolume;
        for (const auto& [bar, volume] : chartBars) {
            ASSERT_TRUE(feedBars.count(bar)) << c.series << " bar at " << bar % 86400;
            EXPECT_EQ(volume, feedBars[bar]) << c.series << " bar at second " << bar % 86400;
        }
    }
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
    // The bar's minutes are not to be had: the load charts the bar as it is.
    std::ofstream(data + "/ABC.HIT60").flush();
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
    // ABC's one history bar is four rows (its minutes are not to be had);
    // every later row is a trade.
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
    const pid_t host =
        StartHostWith({"request ABC 5 2024-03-05", "request ABC 0 2024-03-06T10:55:00", "pump 14",
                       "remove ABC 5", "remove ABC 0"});
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
    // Each series asked for its gap's trades once, besides its own load (the
    // 5-minute chart's takes its last bar from that bar's minutes and the
    // last minute's trades), and its fill has its log line.
    const std::string feedLog = m_sim.Log();
    EXPECT_EQ(CountOf(feedLog, ": HIT,ABC,300,"), 1u) << feedLog;
    EXPECT_EQ(CountOf(feedLog, ": HIT,ABC,60,"), 1u);
    EXPECT_EQ(CountOf(feedLog, ": HTT,ABC,"), 4u);
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
    // When the level-one port goes: this long after the host started (during
    // a load), or when 0 a second after the four charts' loads have ended, so
    // that a slow machine's loads do not meet the outage.
    int dropAtMs = 0;
    // Where the tick chart starts (an hour makes a long load).
    const char* tickStart = "10:55:00";
    // A second outage of the same length as soon as the first one's gap
    // fill begins; each outage has its reconnect and fill.
    bool dropAgainInTheFill = false;
};

void PrintTo(const COutage& outage, std::ostream* out) {
    *out << outage.name;
}

class Outages : public Reconnecting, public ::testing::WithParamInterface<COutage> {
  protected:
    // Runs the row's outages against four streaming charts and checks what
    // every outage must give: the loads end, no box, one lost and one
    // reconnected line and one fill line per series, no row going back.
    // Returns false when the run was skipped or failed.
    bool RunOutages(CHostRun* run);
    // The feed's day (YYYYMMDD) and where the tick chart starts (HHMMSS).
    std::string m_day;
    std::string m_tickStart;
};

bool Outages::RunOutages(CHostRun* result) {
    const COutage& outage = GetParam();
    // The feed's day is the local date, which the plug-in takes as today.
    const std::string day = testing::LocalDate(0);
    std::vector<std::string> simOptions = {"--now", day + "T11:00:00"};
    simOptions.insert(simOptions.end(), outage.simOptions.begin(), outage.simOptions.end());
    StartReconnectingSim(simOptions);
    if (IsSkipped()) {
        return false;
    }
    const pid_t host =
        StartHostWith({"request ABC 0 " + day + "T" + outage.tickStart, "request ABC 1 " + day,
                       "request ABC 5 " + day, "request ABC 1440 2024-01-02",
                       "pump " + std::to_string(outage.pumpSeconds), "remove ABC 0", "remove ABC 1",
                       "remove ABC 5", "remove ABC 1440"});
    if (outage.dropAtMs > 0) {
        Sleep(outage.dropAtMs);
    } else {
        WaitForPluginLog(m_env, "Ending Request Symbol", 120000, 4);
        Sleep(1000);
    }
    const size_t outages = outage.dropAgainInTheFill ? 2 : 1;
    for (size_t n = 0; n < outages; ++n) {
        if (n > 0) {
            WaitForPluginLog(m_env, kGapFill, 60000);
        }
        kill(m_sim.Pid(), SIGUSR1);
        Sleep(outage.outageMs);
        kill(m_sim.Pid(), SIGUSR2);
    }
    const CHostRun run = ReadHostRun(m_env, WaitExit(host, 240000));
    ExpectLoadEnded(run, 4);
    ExpectSoundRows(run);
    EXPECT_TRUE(run.boxes.empty()) << run.boxes.front();
    EXPECT_EQ(CountOf(run.log, kLost), outages) << run.log;
    EXPECT_EQ(CountOf(run.log, kReconnected), outages);
    constexpr char kRetry[] = "The gap fill failed; it is tried again on the next reconnect tick";
    EXPECT_EQ(CountOf(run.log, kRetry), outage.retried ? 1u : 0u) << run.log;
    for (const char* interval : {"0", "1", "5", "1440"}) {
        EXPECT_EQ(
            CountOf(run.log, "Filled the gap of ABC, interval " + std::string(interval) + ": "),
            outages)
            << interval;
    }
    for (const char* interval : {"-0.0", "-1", "-5", "-1440"}) {
        ExpectNoRowGoesBack(run, interval);
    }
    m_day = day;
    m_day.erase(std::remove(m_day.begin(), m_day.end(), '-'), m_day.end());
    m_tickStart = outage.tickStart;
    m_tickStart.erase(std::remove(m_tickStart.begin(), m_tickStart.end(), ':'), m_tickStart.end());
    *result = run;
    return !HasFailure();
}

// Beyond the checks of every outage, the charts hold what the feed's history
// says: the tick chart each trade once and in order, each bar chart every
// bar's volume, the bars its own load charted while live trades were held
// among them.
TEST_P(Outages, EveryTradeOnceAndBarVolumesAsTheFeedHas) {
    CHostRun run;
    if (RunOutages(&run)) {
        ExpectChartsAgreeWithTheFeed(run, m_sim.lookup, m_day, m_tickStart);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Restarts, Outages,
    ::testing::Values(COutage{"outage_8s", {}, 8000, 26, false},
                      COutage{
                          "lookup_up_4s_after_level_one", {"--lookup-lag", "4"}, 3000, 22, true},
                      COutage{"during_a_history_load", {}, 3000, 26, false, 1500, "10:00:00"},
                      COutage{"during_the_fill", {}, 2000, 30, false, 0, "10:55:00", true}),
    [](const ::testing::TestParamInfo<COutage>& info) { return std::string(info.param.name); });

// The back-off reaches its longest wait: about a minute and a half.
INSTANTIATE_TEST_SUITE_P(RestartsSlow, Outages,
                         ::testing::Values(COutage{"outage_70s", {}, 70000, 110, false}),
                         [](const ::testing::TestParamInfo<COutage>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace orvella::e2e
