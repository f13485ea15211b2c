// Live streaming through the stand-in host and the stand-in feed client: the
// host loads the shipped plug-in, hands it credentials (which switches
// streaming on), requests series and pumps; the feed client answers the
// history requests and streams level-one lines. Checks the rows the host
// recorded, in record order, the plug-in's log and what the feed client
// received.
#include <algorithm>
#include <cmath>

#include "tests/e2e/e2e_checks.h"
#include "tests/e2e/e2e_support.h"

namespace orvella::e2e {
namespace {

// A Wednesday; the feed's clock starts at the time of day each scenario picks.
constexpr char kTradingDay[] = "2024-03-06";
constexpr char kStart[] = " 2024-03-01";
constexpr char kWatchFailed[] = "The symbol watch for level one streaming data failed";
constexpr char kNotReady[] = "No watch command sent since Level One socket was not ready!";
constexpr char kSent[] = "Level One sucessful SendRequest";

struct CFeedSetup {
    std::string day = kTradingDay;
    std::string clock = "11:00:00";  // time of day on day
    std::string rate = "20";         // updates per second per symbol
    std::string historyLines = "20";
    std::vector<std::string> extra;
    bool extendedTrade = false;
    std::string beginFilter = "000000";
    std::string endFilter = "235959";
};

// Before the session of the local date, so that every streamed trade is an
// extended one and, with ExtendedTrade 0, sends no row; day bars replayed.
CFeedSetup BeforeTheSessionToday() {
    CFeedSetup setup;
    setup.day = LocalDate(0);
    setup.clock = "08:00:00";
    return setup;
}

// A streaming scenario: credentials first, then the commands.
CScenario Streaming(const std::string& name, const CFeedSetup& setup,
                    const std::vector<std::string>& commands,
                    std::function<void(const CScenarioRun&)> check) {
    CScenario s;
    s.name = name;
    s.feedOptions = {"--update-rate",    setup.rate, "--history-lines",
                     setup.historyLines, "--now",    setup.day + "T" + setup.clock,
                     "--session"};
    s.feedOptions.insert(s.feedOptions.end(), setup.extra.begin(), setup.extra.end());
    s.settings = {true, setup.extendedTrade, true, setup.beginFilter, setup.endFilter};
    s.commands = {"credentials user secret"};
    s.commands.insert(s.commands.end(), commands.begin(), commands.end());
    s.check = std::move(check);
    return s;
}

// "HH:MM:SS" of a host day count, as seconds of the day.
int SecondOfDay(const std::string& dayCount) {
    const double days = std::stod(dayCount);
    return static_cast<int>(std::llround((days - std::floor(days)) * 86400.0));
}

// A trade's date, price and size.
std::string Key(const CRow& row) {
    return row.Text(1) + "," + row.Text(2) + "," + row.Text(3);
}

void ExpectResult(const CHostRun& run, const std::string& call, int n, const std::string& result) {
    const size_t at = run.Find(call, n);
    ASSERT_NE(at, kNone) << call << " #" << n;
    EXPECT_EQ(run.calls[at].Field("result"), result) << run.calls[at].line;
}

// Streamed trades of one symbol at two bar intervals: each trade is one row
// in the first requested series, then the same row in the second. Removing
// the first interval keeps the second streaming; removing the last one
// unwatches the symbol at the feed client.
void WatchedIntervals(const CScenarioRun& played) {
    const CHostRun& run = played.host;
    EXPECT_EQ(run.status, 0);
    ExpectResult(run, "UserIDPasswordChanged", 0, "-1");
    ExpectResult(run, "RequestTicker", 0, "1");
    ExpectResult(run, "RequestTicker", 1, "1");

    // The watch went out after the feed client's customer-information line:
    // the plug-in saw the system line that follows it before sending.
    const std::string& log = run.log;
    EXPECT_EQ(CountOf(log, kSent), 2u);
    const size_t connected = log.find(",SERVER CONNECTED");
    ASSERT_NE(connected, kNone) << log;
    EXPECT_LT(log.find("OnConnect called"), connected);
    EXPECT_LT(connected, log.find(kSent));
    EXPECT_EQ(CountOf(played.feedLog, ": watch ABC"), 2u);
    EXPECT_EQ(CountOf(played.feedLog, ": unwatch ABC"), 1u);

    const size_t second = run.Find("RequestTicker", 1);
    const size_t firstRemove = run.Find("RemoveTicker", 0);
    const size_t lastRemove = run.Find("RemoveTicker", 1);
    ASSERT_NE(lastRemove, kNone);
    const std::vector<CRow> rows = run.Rows("ABC", "", second, firstRemove);
    // While the second chart loads, its live trades are held and follow its
    // history, so the pairs begin with the first trade both series get in
    // turn.
    size_t from = 0;
    while (from + 1 < rows.size() &&
           !(rows[from].interval == "-5" && rows[from + 1].interval == "-1" &&
             Key(rows[from]) == Key(rows[from + 1]))) {
        ++from;
    }
    const std::vector<CRow> both(rows.begin() + static_cast<std::ptrdiff_t>(from), rows.end());
    ASSERT_GE(both.size(), 4u);
    ASSERT_EQ(both.size() % 2, 0u);
    for (size_t i = 0; i < both.size(); i += 2) {
        EXPECT_EQ(both[i].interval, "-5");
        EXPECT_EQ(both[i + 1].interval, "-1");
        EXPECT_EQ(Key(both[i]), Key(both[i + 1]));
        EXPECT_NE(both[i].Text(3), "0");  // a trade's size
    }
    EXPECT_TRUE(run.Rows("ABC", "-5", firstRemove, lastRemove).empty());
    EXPECT_FALSE(run.Rows("ABC", "-1", firstRemove, lastRemove).empty());
    EXPECT_TRUE(run.Rows("ABC", "", lastRemove).empty());
}

// The tick series gets the ask pair (type 4) and the bid pair (type 2)
// before a trade (type 0) whenever the pair changed since it was last sent;
// the first trade brings both.
void TickSeriesQuoteRows(const CScenarioRun& played) {
    const CHostRun& run = played.host;
    EXPECT_EQ(run.status, 0);
    ExpectResult(run, "RequestTicker", 0, "1");
    const std::vector<CRow> rows = run.Rows("ABC", "-0.0", run.Find("RequestTicker"));
    ASSERT_GE(rows.size(), 6u);
    EXPECT_EQ(rows[0].Text(4), "4");
    EXPECT_EQ(rows[1].Text(4), "2");
    EXPECT_EQ(rows[2].Text(4), "0");
    std::string lastAsk, lastBid, previousType = "0";
    int trades = 0;
    for (const CRow& row : rows) {
        const std::string type = row.Text(4);
        const std::string pair = row.Text(2) + "," + row.Text(3);
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
struct CGate {
    const char* name;
    const char* clock;
    bool extendedTrade;
    const char* beginFilter;
    const char* endFilter;
    bool rows;
};

constexpr CGate kGates[] = {
    {"regular_session", "11:00:00", false, "000000", "235959", true},
    {"extended_hours_left_out", "18:00:00", false, "000000", "235959", false},
    {"extended_hours_wanted", "18:00:00", true, "000000", "235959", true},
    {"filter_ends_before_now", "11:00:00", false, "093000", "103000", false},
    {"filter_begins_after_now", "11:00:00", false, "120000", "160000", false},
    {"filter_holds_now", "11:00:00", false, "103000", "120000", true},
    {"filter_end_left_open", "11:00:00", false, "120000", "235959", true},
};

void TradesThroughBothGates(const CGate& c, const CScenarioRun& played) {
    const CHostRun& run = played.host;
    EXPECT_EQ(run.status, 0);
    ExpectResult(run, "RequestTicker", 0, "1");
    EXPECT_EQ(CountOf(run.log, kSent), 1u);
    const std::vector<CRow> rows = run.Rows("ABC", "-5", run.Find("RequestTicker"));
    if (c.rows) {
        EXPECT_GE(rows.size(), 10u);
    } else {
        EXPECT_TRUE(rows.empty()) << rows.size() << " rows, first " << Key(rows.front());
    }
}

// Day-summary rows: four rows (open, high, low with no volume, then the last
// price with the day's volume, which is 0 before the first trade of the day)
// for the first daily-or-longer entry without them, unless the daily history
// just loaded ended with today's bar. The day-bar histories are replayed from
// files dated from the local date, which the plug-in takes as today.
void DaySummaryOncePerEntry(const CScenarioRun& played) {
    const CHostRun& run = played.host;
    EXPECT_EQ(run.status, 0);
    for (int n = 0; n < 3; ++n) {
        ExpectResult(run, "RequestTicker", n, "1");
    }
    for (const char* series : {"-1440", "-10080"}) {
        const std::vector<CRow> rows = run.Streamed("ABC", series);
        ASSERT_EQ(rows.size(), 4u) << series;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(rows[i].Text(3), "0") << series;
        }
        const double open = std::stod(rows[0].Text(2));
        const double high = std::stod(rows[1].Text(2));
        const double low = std::stod(rows[2].Text(2));
        const double last = std::stod(rows[3].Text(2));
        EXPECT_GE(high, std::max(open, last)) << series;
        EXPECT_LE(low, std::min(open, last)) << series;
        for (const CRow& row : rows) {
            EXPECT_EQ(row.Text(1), rows[0].Text(1));
        }
    }
    // The weekly entry's rows came with the second watch's summary line; the
    // third watch's summary line found no entry left to serve.
    EXPECT_GT(run.Streamed("ABC", "-10080").front().call, run.Find("RequestTicker", 1));
}

void NoDaySummaryWhenTodayIsLoaded(const CScenarioRun& played) {
    const CHostRun& run = played.host;
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.Streamed("ABC", "-1440").size(), 0u);
    EXPECT_EQ(run.Streamed("DEF", "-1440").size(), 4u);
}

// While a second symbol's history loads (slowed to a few seconds), the first
// symbol's lines are held; they reach the host after that load's history
// rows, in arrival order, with none lost.
void HeldLinesFollowInArrivalOrder(const CScenarioRun& played) {
    const CHostRun& run = played.host;
    EXPECT_EQ(run.status, 0);
    ExpectResult(run, "RequestTicker", 0, "1");
    ExpectResult(run, "RequestTicker", 1, "1");

    const size_t defSetup = run.Find("NSTSETUPDATA", 0, "DEF");
    const size_t defDone = run.Find("RequestTicker", 1);
    ASSERT_NE(defSetup, kNone);
    ExpectStreamingBarLoadRows(run.Rows("DEF", "-5", defSetup, defDone).size(), 60);
    EXPECT_TRUE(run.Rows("ABC", "", defSetup, defDone).empty());

    // Trade times to the second, at about 14 trades a second: a lost stretch
    // of the DEF load would leave a gap of several seconds.
    const std::vector<CRow> rows = run.Rows("ABC", "-5", run.Find("RequestTicker"));
    ASSERT_GE(rows.size(), 30u);
    const int first = SecondOfDay(rows.front().Text(1));
    const int last = SecondOfDay(rows.back().Text(1));
    EXPECT_GE(last - first, 3) << "the DEF load took less time than expected";
    size_t afterDef = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) {
            const int step = SecondOfDay(rows[i].Text(1)) - SecondOfDay(rows[i - 1].Text(1));
            EXPECT_GE(step, 0) << "row " << i << " out of order";
            EXPECT_LE(step, 1) << "rows missing before row " << i;
        }
        afterDef += rows[i].call > defDone ? 1 : 0;
    }
    EXPECT_GT(afterDef, 14u * 2);
}

// An unknown symbol: the feed client answers the watch with "Not Found", the
// plug-in logs it and the host gets no row for it.
void UnknownSymbolGetsNoRows(const CScenarioRun& played) {
    const CHostRun& run = played.host;
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.log.find("Symbol BADX was Not Found"), kNone);
    EXPECT_EQ(CountOf(played.feedLog, ": watch BADX"), 1u);
    EXPECT_TRUE(run.Rows("BADX", "", run.Find("RequestTicker", 1)).empty());
    EXPECT_FALSE(run.Rows("ABC", "-5", run.Find("RequestTicker", 1)).empty());
}

// After the feed client closed the level-one connection, the plug-in does not
// reconnect: the next watch fails on the closed socket, the request is
// refused with the box, and no series is announced for it.
void ClosedConnectionFailsTheNextWatch(const CScenarioRun& played) {
    const CHostRun& run = played.host;
    EXPECT_EQ(run.status, 0);
    ExpectResult(run, "RequestTicker", 0, "1");
    ExpectResult(run, "RequestTicker", 1, "0");
    ExpectStreamingBarLoadRows(run.Rows("ABC", "-5", kNone, run.Find("RequestTicker")).size(), 20);
    EXPECT_EQ(run.Find("NSTSETUPDATA", 0, "DEF"), kNone);
    const size_t box = run.Find("MessageBox");
    ASSERT_NE(box, kNone);
    EXPECT_EQ(run.calls[box].Field("text"), kWatchFailed);
    EXPECT_NE(played.feedLog.find("closing after 6 lines (fault)"), kNone);
    const std::string& log = run.log;
    const size_t watch = log.find("Watching symbol DEF");
    ASSERT_NE(watch, kNone);
    EXPECT_NE(log.find("The descriptor is not a socket.", watch), kNone) << log.substr(watch);
    EXPECT_EQ(log.find(kNotReady), kNone);
}

// Without the customer-information line the watch waits its whole bounded
// time (320 waits of 250 ms) and gives up without sending anything.
void WatchGivesUp(const CScenarioRun& played) {
    const CHostRun& run = played.host;
    EXPECT_EQ(run.status, 0);
    ExpectResult(run, "RequestTicker", 0, "0");
    EXPECT_GE(run.seconds, 80.0);
    EXPECT_EQ(run.Find("NSTSETUPDATA"), kNone);
    const size_t box = run.Find("MessageBox");
    ASSERT_NE(box, kNone);
    EXPECT_EQ(run.calls[box].Field("text"), kWatchFailed);
    const std::string& log = run.log;
    EXPECT_NE(log.find(kNotReady), kNone);
    EXPECT_LT(log.find(kNotReady), log.find(kWatchFailed));
    EXPECT_EQ(log.find(kSent), kNone);
    EXPECT_EQ(CountOf(played.feedLog, ": watch ABC"), 0u);
}

}  // namespace

std::vector<CScenario> LevelOneScenarios() {
    const std::string start = kStart;
    std::vector<CScenario> scenarios = {
        Streaming("watched_intervals_get_each_trade_in_request_order_until_removed", {},
                  {"request ABC 5" + start, "request ABC 1" + start, "pump 1.5", "remove ABC 5",
                   "pump 1", "remove ABC 1", "pump 0.5"},
                  WatchedIntervals),
        Streaming("tick_series_gets_quote_rows_when_the_pairs_change", {},
                  {"request ABC 0" + start, "pump 2"}, TickSeriesQuoteRows),
    };
    for (const CGate& c : kGates) {
        CFeedSetup setup;
        setup.clock = c.clock;
        setup.extendedTrade = c.extendedTrade;
        setup.beginFilter = c.beginFilter;
        setup.endFilter = c.endFilter;
        scenarios.push_back(
            Streaming(std::string("gate_") + c.name, setup, {"request ABC 5" + start, "pump 2"},
                      [c](const CScenarioRun& run) { TradesThroughBothGates(c, run); }));
    }
    CScenario summary =
        Streaming("day_summary_goes_once_to_each_daily_or_longer_entry", BeforeTheSessionToday(),
                  {"request ABC 1440" + start, "pump 1", "request ABC 10080" + start, "pump 1",
                   "request ABC 1440" + start, "pump 1"},
                  DaySummaryOncePerEntry);
    summary.dayBars = {{"ABC.HDX", 1}, {"ABC.HWX", 7}};
    scenarios.push_back(std::move(summary));
    CScenario today =
        Streaming("no_day_summary_when_the_daily_history_holds_today", BeforeTheSessionToday(),
                  {"request ABC 1440" + start, "request DEF 1440" + start, "pump 1"},
                  NoDaySummaryWhenTodayIsLoaded);
    today.dayBars = {{"ABC.HDX", 0}, {"DEF.HDX", 1}};
    scenarios.push_back(std::move(today));
    CFeedSetup slowHistory;
    slowHistory.historyLines = "60";
    slowHistory.extra = {"--fault-one-byte", "--fault-byte-gap-us", "600"};
    scenarios.push_back(Streaming("lines_held_during_a_history_load_follow_it_in_arrival_order",
                                  slowHistory,
                                  {"request ABC 5" + start, "request DEF 5" + start, "pump 1"},
                                  HeldLinesFollowInArrivalOrder));
    scenarios.push_back(Streaming("unknown_symbol_is_logged_and_gets_no_rows", {},
                                  {"request ABC 5" + start, "request BADX 5" + start, "pump 1"},
                                  UnknownSymbolGetsNoRows));
    CFeedSetup closing;
    closing.extra = {"--fault-level1-close-after", "6"};
    scenarios.push_back(Streaming("closed_level_one_connection_fails_the_next_watch", closing,
                                  {"request ABC 5" + start, "pump 1", "request DEF 5" + start},
                                  ClosedConnectionFailsTheNextWatch));
    return scenarios;
}

std::vector<CScenario> LevelOneSlowScenarios() {
    CFeedSetup setup;
    setup.extra = {"--fault-no-cust"};
    CScenario s = Streaming("watch_gives_up_without_customer_information", setup,
                            {std::string("request ABC 5") + kStart}, WatchGivesUp);
    s.timeLimitSeconds = 140;
    return {s};
}

}  // namespace orvella::e2e
