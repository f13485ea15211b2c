// Whole history loads through the stand-in host and the stand-in feed client:
// the host loads the plug-in and requests a series; the feed client answers
// on its lookup port. Checks the request the feed client received, the rows
// and progress the host recorded and the failures the user sees.
#include <set>

#include "tests/e2e/e2e_checks.h"

namespace orvella::e2e {
namespace {

// Record calls before the request's return: the load itself.
std::vector<CCall> LoadCalls(const CHostRun& run) {
    const size_t returned = run.Find("RequestTicker");
    const size_t end = returned == kNone ? run.calls.size() : returned;
    return std::vector<CCall>(run.calls.begin(), run.calls.begin() + end);
}

// Progress as the host saw it during the load: rising, below 100, then
// exactly one 100 as the last report.
void ExpectProgress(const CHostRun& run) {
    std::vector<int> percents;
    for (const CCall& call : LoadCalls(run)) {
        if (call.call == "UpdatePercent") {
            percents.push_back(std::stoi(call.Field("percent")));
        }
    }
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100);
    for (size_t i = 0; i + 1 < percents.size(); ++i) {
        EXPECT_GE(percents[i], 0);
        EXPECT_LT(percents[i], 100);
        if (i > 0) {
            EXPECT_GE(percents[i], percents[i - 1]);
        }
    }
}

// The request returned 1 and the host exited normally.
void ExpectRequestReturned(const CHostRun& run) {
    EXPECT_EQ(run.status, 0);
    const size_t returned = run.Find("RequestTicker");
    ASSERT_NE(returned, kNone);
    EXPECT_EQ(run.calls[returned].Field("result"), "1");
}

// A layout: the interval requested and the request type it makes, without
// and with streaming (which logs in on the fixed admin port first).
struct CLayout {
    const char* name;
    const char* interval;
    const char* type;
    bool streaming;
};

void CheckLayout(const CLayout& c, const std::string& start, const CScenarioRun& played) {
    const CHostRun& run = played.host;
    ExpectRequestReturned(run);

    // The request text, byte for byte (the filter texts are the settings'
    // defaults once the credentials were applied, empty before).
    const std::string compact = start.substr(0, 4) + start.substr(5, 2) + start.substr(8, 2);
    const std::string filters = c.streaming ? "000000,235959" : ",";
    const std::string type = c.type;
    std::string expected;
    if (type == "HTT") {
        expected = "HTT,ABC," + compact + " 093000,,," + filters + ",1";
    } else if (type == "HIT") {
        expected = "HIT,ABC,300," + compact + " 093000,,," + filters + ",1";
    } else {
        expected = type + ",ABC,,1";
    }
    // A streaming intraday or daily chart takes its last bar from that bar's
    // minutes, the last of them from its trades.
    const std::string interval = c.interval;
    const bool lastBarFromTrades = c.streaming && (interval == "5" || interval == "1440");
    std::vector<std::string> requests = played.LookupRequests();
    if (lastBarFromTrades && requests.size() == 3) {
        EXPECT_EQ(requests[1].rfind("HIT,ABC,60,", 0), 0u) << requests[1];
        EXPECT_EQ(requests[2].rfind("HTT,ABC,", 0), 0u) << requests[2];
        requests.resize(1);
    }
    EXPECT_EQ(requests, std::vector<std::string>{expected});

    // Rows under the series key, with the columns of the layout.
    const bool ticks = type == "HTT";
    const std::string key = ticks ? "-0.0" : (c.streaming ? "-" + interval : interval);
    std::set<int> columns;
    int rows = 0;
    for (const CCall& call : LoadCalls(run)) {
        if (call.call == "NSTSETVALUE") {
            EXPECT_EQ(call.Field("interval"), key) << call.line;
            columns.insert(std::stoi(call.Field("column")));
        } else if (call.call == "NSTCOMMITROW") {
            EXPECT_EQ(call.Field("interval"), key) << call.line;
            ++rows;
        }
    }
    const std::set<int> expectedColumns = ticks         ? std::set<int>{1, 2, 3, 4}
                                          : c.streaming ? std::set<int>{1, 2, 3}
                                                        : std::set<int>{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(columns, expectedColumns);
    if (ticks) {
        EXPECT_GE(rows, 300);  // every trade, plus quote rows
    } else {
        if (lastBarFromTrades) {
            ExpectStreamingBarLoadRows(static_cast<size_t>(rows), 300);
        } else {
            EXPECT_EQ(rows, c.streaming ? 4 * 300 : 300);
        }
    }
    ExpectProgress(run);
    EXPECT_EQ(run.log.find("Aborting"), std::string::npos);
}

constexpr CLayout kLayouts[] = {
    {"ticks", "0", "HTT", false},      {"ticks_streaming", "0", "HTT", true},
    {"minutes", "5", "HIT", false},    {"minutes_streaming", "5", "HIT", true},
    {"days", "1440", "HDX", false},    {"days_streaming", "1440", "HDX", true},
    {"weeks", "10080", "HWX", false},  {"weeks_streaming", "10080", "HWX", true},
    {"months", "43200", "HMX", false}, {"months_streaming", "43200", "HMX", true},
};

// A lookup fault of the feed client and the one box that ends the load.
struct CFault {
    const char* name;
    std::vector<std::string> feedOptions;
    const char* box;
};

void CheckFault(const CFault& c, const CScenarioRun& played) {
    const CHostRun& run = played.host;
    ExpectRequestReturned(run);
    int boxes = 0;
    for (const CCall& call : LoadCalls(run)) {
        if (call.call == "MessageBox") {
            ++boxes;
            EXPECT_EQ(call.Field("text"), c.box);
            EXPECT_EQ(call.Field("caption"), "OrvellaForNST");
        }
    }
    EXPECT_EQ(boxes, 1);
    ExpectProgress(run);
    EXPECT_NE(run.log.find(c.box), std::string::npos);
}

}  // namespace

std::vector<CScenario> HistoryScenarios() {
    const std::string start = LocalDate(10);
    std::vector<CScenario> scenarios;
    for (const CLayout& c : kLayouts) {
        CScenario s;
        s.name = c.name;
        s.adminPort = c.streaming ? kAdminPort : 0;
        s.feedOptions = {"--history-lines", "300", "--now", testing::LastWeekdayNoon()};
        s.settings.streaming = c.streaming;
        if (c.streaming) {
            s.commands.push_back("credentials user secret");
        }
        s.commands.push_back("request ABC " + std::string(c.interval) + " " + start + "T09:30:00");
        s.timeLimitSeconds = 90;
        s.check = [c, start](const CScenarioRun& run) { CheckLayout(c, start, run); };
        scenarios.push_back(std::move(s));
    }
    const std::vector<CFault> faults = {
        {"closed_mid_reply", {"--fault-lookup-close-after", "40"}, kLoadAborted},
        {"no_end_line", {"--fault-no-end-line"}, kLoadAborted},
        {"refused", {"--no-listen", "lookup"}, kRequestFailed},
    };
    for (const CFault& c : faults) {
        CScenario s;
        s.name = c.name;
        s.adminPort = 0;
        s.feedOptions = c.feedOptions;
        s.feedOptions.insert(s.feedOptions.end(), {"--now", testing::LastWeekdayNoon()});
        s.commands = {"request ABC 1440 " + start};
        s.timeLimitSeconds = 90;
        s.check = [c](const CScenarioRun& run) { CheckFault(c, run); };
        scenarios.push_back(std::move(s));
    }
    return scenarios;
}

}  // namespace orvella::e2e
