// Pure logic of the stand-in feed: request parsing, the synthetic market and
// its reply sources, level-one and admin lines, options and launcher
// arguments. Every generated line goes through the independent checker.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "feedsim/admin_status.h"
#include "feedsim/civil_time.h"
#include "feedsim/history_reply.h"
#include "feedsim/history_request.h"
#include "feedsim/launcher_args.h"
#include "feedsim/level_one_stream.h"
#include "feedsim/sim_options.h"
#include "feedsim/synthetic_market.h"
#include "tests/feedsim/reply_checker.h"

namespace feedsim {
namespace {

using feedsim_test::CheckDayBarLine;
using feedsim_test::CheckIntervalBarLine;
using feedsim_test::CheckLevelOneLine;
using feedsim_test::CheckTickLine;

CivilSeconds At(const char* text) {
    CivilSeconds t = 0;
    EXPECT_TRUE(ParseIsoDateTime(text, &t)) << text;
    return t;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    for (size_t nl; (nl = text.find("\r\n", pos)) != std::string::npos; pos = nl + 2) {
        lines.push_back(text.substr(pos, nl - pos));
    }
    EXPECT_EQ(pos, text.size()) << "text after the last CR LF";
    return lines;
}

std::string Drain(CReplySource* source, size_t batch = 4096) {
    std::string text;
    while (!source->Exhausted()) {
        source->Produce(&text, batch, 1000000);
    }
    return text;
}

std::string Reply(const std::string& requestLine, CivilSeconds now, int64_t forced = 0) {
    CHistoryRequest request;
    std::string error;
    EXPECT_TRUE(ParseHistoryRequest(requestLine, &request, &error)) << requestLine;
    CReplySettings settings;
    settings.now = now;
    settings.forcedLines = forced;
    return Drain(MakeReplySource(request, settings).get());
}

TEST(CivilTimeTest, RoundTripsAndRejects) {
    for (const char* text : {"1970-01-01 00:00:00", "2000-02-29 12:34:56", "2024-12-31 23:59:59",
                             "1969-12-31 23:59:59"}) {
        char buffer[32];
        EXPECT_EQ(std::string(buffer, WriteIsoDateTime(buffer, At(text))), text);
    }
    CivilSeconds t;
    for (const char* bad :
         {"2023-02-29 00:00:00", "2024-13-01", "2024-01-01 24:00:00", "2024-1-01"}) {
        EXPECT_FALSE(ParseIsoDateTime(bad, &t)) << bad;
    }
    EXPECT_TRUE(ParseCompactDateTime("20110801 093000", &t));
    EXPECT_EQ(t, At("2011-08-01 09:30:00"));
    EXPECT_FALSE(ParseCompactDateTime("Invalid DateTime", &t));
    EXPECT_EQ(Weekday(DayOf(At("2024-03-09 10:00:00"))), 6);  // a Saturday
    char buffer[16];
    EXPECT_EQ(std::string(buffer, WriteCents(buffer, -5)), "-0.05");
    EXPECT_EQ(std::string(buffer, WriteUsDate(buffer, DayOf(At("2024-03-06")))), "03/06/2024");
}

TEST(HistoryRequestTest, ParsesTheFiveRequests) {
    struct Case {
        const char* line;
        bool ok;
        HistoryKind kind;
        int seconds;
        bool filtered;
    } cases[] = {
        {"HTT,ABC,20110801 093000,,,000000,235959,1", true, HistoryKind::kTicks, 0, true},
        {"HTT,ABC,20110801 093000,,,,,1", true, HistoryKind::kTicks, 0, false},
        {"HIT,ABC,300,20110801 093000,,,093000,160000,1", true, HistoryKind::kIntervalBars, 300,
         true},
        {"HIT,ABC,86399,20110801 093000,,,,,1", true, HistoryKind::kIntervalBars, 86399, false},
        {"HDX,ABC,,1", true, HistoryKind::kDailyBars, 0, false},
        {"HWX,ABC,,1", true, HistoryKind::kWeeklyBars, 0, false},
        {"HMX,ABC,12,1", true, HistoryKind::kMonthlyBars, 0, false},
        {"HIT,ABC,0,20110801 093000,,,,,1", false, {}, 0, false},  // 0.01 minutes
        {"HTT,ABC,Invalid DateTime,,,000000,235959,1", false, {}, 0, false},
        {"HTT,ABC,20110801 093000,,,2400,235959,1", false, {}, 0, false},
        {"HDX,,,1", false, {}, 0, false},
        {"HXX,ABC,,1", false, {}, 0, false},
        {"", false, {}, 0, false},
    };
    for (const Case& c : cases) {
        CHistoryRequest r;
        std::string error;
        ASSERT_EQ(ParseHistoryRequest(c.line, &r, &error), c.ok) << c.line;
        if (!c.ok) {
            EXPECT_EQ(error, "!SYNTAX_ERROR!");
            continue;
        }
        EXPECT_EQ(r.kind, c.kind) << c.line;
        EXPECT_EQ(r.intervalSeconds, c.seconds) << c.line;
        EXPECT_EQ(r.filtered, c.filtered) << c.line;
        EXPECT_EQ(r.symbol, "ABC");
    }
}

TEST(SyntheticMarketTest, KnownSymbolRule) {
    for (const char* known : {"ABC", "A", "MSFT", "@ES#", "BRK.B", "EURUSD.FXCM", "X_1-2", "BA"}) {
        EXPECT_TRUE(IsKnownSymbol(known)) << known;
    }
    for (const char* unknown :
         {"", "abc", "BAD", "BADSYM", "UNKNOWN1", "A B", "TOOLONGSYMBOL12345", "A,B", "A/B"}) {
        EXPECT_FALSE(IsKnownSymbol(unknown)) << unknown;
    }
}

TEST(SyntheticMarketTest, TicksAreOrderedRealisticAndMarkedBySession) {
    CSyntheticMarket market("ABC");
    const int64_t day = DayOf(At("2024-03-06"));
    std::vector<CTick> ticks;
    market.DayTicks(day, At("2024-03-06 23:59:59"), &ticks);
    ASSERT_GT(ticks.size(), 3000u);
    int extended = 0;
    for (size_t i = 0; i < ticks.size(); ++i) {
        const CTick& t = ticks[i];
        const int sod = SecondOfDay(t.time);
        ASSERT_GE(sod, kExtendedOpen);
        ASSERT_LT(sod, kExtendedClose);
        ASSERT_EQ(t.extended, sod < kRegularOpen || sod >= kRegularClose);
        ASSERT_LE(t.bidCents, t.priceCents);
        ASSERT_GE(t.askCents, t.priceCents);
        if (i > 0) {
            ASSERT_GE(t.time, ticks[i - 1].time);
            ASSERT_EQ(t.dayVolume, ticks[i - 1].dayVolume + t.size);
            // A random walk: no jump above 2 % between neighbouring trades.
            ASSERT_LT(std::abs(t.priceCents - ticks[i - 1].priceCents), t.priceCents / 50 + 3);
        }
        extended += t.extended;
    }
    EXPECT_GT(extended, 100);
    std::vector<CTick> weekend;
    market.DayTicks(DayOf(At("2024-03-09")), At("2024-03-09 23:59:59"), &weekend);
    EXPECT_TRUE(weekend.empty());
}

TEST(SyntheticMarketTest, SymbolsDifferAndPricesStayPlausible) {
    const CivilSeconds t = At("2024-03-06 12:00:00");
    EXPECT_NE(CSyntheticMarket("ABC").PriceAt(t), CSyntheticMarket("ABD").PriceAt(t));
    for (const char* symbol : {"ABC", "MSFT", "Z", "QQQ", "@ES#"}) {
        for (const char* when : {"2015-06-01 12:00:00", "2024-03-06 12:00:00"}) {
            const int64_t cents = CSyntheticMarket(symbol).PriceAt(At(when));
            EXPECT_GT(cents, 50) << symbol << " " << when;
            EXPECT_LT(cents, 1000000) << symbol << " " << when;
        }
    }
}

TEST(HistoryReplyTest, EveryLineParsesUnderItsFamilyLayout) {
    const CivilSeconds now = At("2024-03-06 11:00:00");
    struct Case {
        const char* request;
        std::string (*check)(std::string_view);
        size_t minLines;
    } cases[] = {
        {"HTT,ABC,20240304 093000,,,000000,235959,1", CheckTickLine, 5000},
        {"HIT,ABC,300,20240301 093000,,,,,1", CheckIntervalBarLine, 300},
        {"HIT,ABC,30,20240305 000000,,,,,1", CheckIntervalBarLine, 1000},
        {"HDX,ABC,,1", CheckDayBarLine, 2500},
        {"HWX,ABC,,1", CheckDayBarLine, 500},
        {"HMX,ABC,,1", CheckDayBarLine, 115},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> lines = Lines(Reply(c.request, now));
        EXPECT_GE(lines.size(), c.minLines) << c.request;
        for (const std::string& line : lines) {
            ASSERT_EQ(c.check(line), "") << c.request << ": " << line;
            ASSERT_LE(line.substr(0, 10), "2024-03-06") << c.request;
        }
    }
}

TEST(HistoryReplyTest, SameRequestSameReplyWhateverTheBatchSize) {
    const CivilSeconds now = At("2024-03-06 11:00:00");
    CHistoryRequest request;
    std::string error;
    ASSERT_TRUE(ParseHistoryRequest("HIT,XYZ,60,20240304 000000,,,,,1", &request, &error));
    CReplySettings settings;
    settings.now = now;
    const std::string whole = Drain(MakeReplySource(request, settings).get(), 1 << 30);
    EXPECT_EQ(Drain(MakeReplySource(request, settings).get(), 1), whole);
    EXPECT_EQ(Reply("HDX,XYZ,,1", now), Reply("HDX,XYZ,,1", now));
    EXPECT_NE(Reply("HDX,XYZ,,1", now), Reply("HDX,XYW,,1", now));
}

TEST(HistoryReplyTest, StartEndAndFilterTimesAreHonoured) {
    const CivilSeconds now = At("2024-03-06 11:00:00");
    struct Case {
        const char* request;
        const char* first;  // no line before this
        const char* last;   // no line after this
        int filterBegin, filterEnd;
    } cases[] = {
        {"HTT,ABC,20240305 150000,,,000000,235959,1", "2024-03-05 15:00:00", "2024-03-06 11:00:00",
         0, 86399},
        {"HTT,ABC,20240304 000000,20240305 120000,,093000,160000,1", "2024-03-04 00:00:00",
         "2024-03-05 12:00:00", 34200, 57600},
        {"HIT,ABC,600,20240301 000000,,,100000,113000,1", "2024-03-01 00:00:00",
         "2024-03-06 11:00:00", 36000, 41400},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> lines = Lines(Reply(c.request, now));
        ASSERT_FALSE(lines.empty()) << c.request;
        for (const std::string& line : lines) {
            const CivilSeconds t = At(line.substr(0, 19).c_str());
            ASSERT_GE(t, At(c.first)) << c.request << ": " << line;
            ASSERT_LE(t, At(c.last)) << c.request << ": " << line;
            ASSERT_GE(SecondOfDay(t), c.filterBegin) << c.request << ": " << line;
            ASSERT_LE(SecondOfDay(t), c.filterEnd) << c.request << ": " << line;
        }
    }
    // Day-bar history honours its number of points.
    EXPECT_EQ(Lines(Reply("HDX,ABC,7,1", now)).size(), 7u);
}

TEST(HistoryReplyTest, DailyHistoryEndsTodayDuringTheSession) {
    struct Case {
        const char* now;
        const char* request;
        const char* lastDate;
    } cases[] = {
        {"2024-03-06 11:00:00", "HDX,ABC,,1", "2024-03-06"},  // in session: today
        {"2024-03-06 08:00:00", "HDX,ABC,,1", "2024-03-05"},  // before the open: yesterday
        {"2024-03-09 12:00:00", "HDX,ABC,,1", "2024-03-08"},  // Saturday: Friday
        {"2024-03-06 11:00:00", "HWX,ABC,,1", "2024-03-06"},
        {"2024-03-06 11:00:00", "HMX,ABC,,1", "2024-03-06"},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> lines = Lines(Reply(c.request, At(c.now)));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().substr(0, 10), c.lastDate) << c.now << " " << c.request;
    }
    // Weekly bars carry the last trading day of each week, monthly of each month.
    const std::vector<std::string> weeks = Lines(Reply("HWX,ABC,3,1", At("2024-03-06 11:00:00")));
    ASSERT_EQ(weeks.size(), 3u);
    EXPECT_EQ(weeks[0].substr(0, 10), "2024-02-23");
    EXPECT_EQ(weeks[1].substr(0, 10), "2024-03-01");
    const std::vector<std::string> months = Lines(Reply("HMX,ABC,2,1", At("2024-03-06 11:00:00")));
    EXPECT_EQ(months[0].substr(0, 10), "2024-02-29");
}

TEST(HistoryReplyTest, ForcedLineCountEndsNowAndRespectsBatches) {
    const CivilSeconds now = At("2024-03-06 11:00:00");
    for (const char* request : {"HTT,ABC,20240306 000000,,,,,1", "HIT,ABC,60,20240306 000000,,,,,1",
                                "HDX,ABC,,1", "HWX,ABC,,1", "HMX,ABC,,1"}) {
        const std::vector<std::string> lines = Lines(Reply(request, now, 600));
        ASSERT_EQ(lines.size(), 600u) << request;
        EXPECT_EQ(lines.back().substr(0, 10), "2024-03-06") << request;
        EXPECT_LE(lines.front(), lines.back()) << request;  // oldest first
        for (const std::string& line : {lines.front(), lines.back()}) {
            const std::string why = request[1] == 'T'   ? CheckTickLine(line)
                                    : request[1] == 'I' ? CheckIntervalBarLine(line)
                                                        : CheckDayBarLine(line);
            EXPECT_EQ(why, "") << request << ": " << line;
        }
    }
    // A line limit stops mid-reply; the rest follows on the next call.
    CHistoryRequest r;
    std::string error;
    ASSERT_TRUE(ParseHistoryRequest("HTT,ABC,,,,,,1", &r, &error));
    CReplySettings settings;
    settings.now = now;
    settings.forcedLines = 10;
    auto source = MakeReplySource(r, settings);
    std::string text;
    EXPECT_EQ(source->Produce(&text, 1 << 20, 4), 4u);
    EXPECT_FALSE(source->Exhausted());
    EXPECT_EQ(source->Produce(&text, 1 << 20, 100), 6u);
    EXPECT_TRUE(source->Exhausted());
}

TEST(LevelOneStreamTest, SummaryAndUpdateLinesHaveTheFieldLayout) {
    const CivilSeconds regular = At("2024-03-06 11:00:00");
    const CivilSeconds evening = At("2024-03-06 18:00:00");
    // Told a session: evening trades are marked extended.
    CLevelOneStream stream("ABC", regular, false, true);
    std::string text;
    stream.AppendSummary(&text, regular, 123);
    int trades = 0, quotes = 0;
    for (int i = 0; i < 200; ++i) {
        stream.AppendUpdate(&text, i < 100 ? regular : evening, 456);
    }
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 201u);
    EXPECT_EQ(lines[0][0], 'P');
    for (size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(CheckLevelOneLine(lines[i]), "") << lines[i];
        const std::vector<std::string> f = feedsim_test::SplitAll(lines[i]);
        EXPECT_EQ(f[1], "ABC");
        EXPECT_EQ(f[30], "03/06/2024");
        EXPECT_EQ(f[40], i == 0 ? "123" : "456");
        if (i == 0) {
            continue;
        }
        const char marker = f[17].back();
        if (marker == 't' || marker == 'T') {
            ++trades;
            EXPECT_EQ(marker, i <= 100 ? 't' : 'T') << lines[i];
        } else {
            ++quotes;
            EXPECT_EQ(marker, 'b');
        }
        EXPECT_LE(std::atof(f[10].c_str()), std::atof(f[11].c_str()));
    }
    EXPECT_GT(trades, 100);
    EXPECT_GT(quotes, 20);
    // The same symbol gives the same sequence.
    CLevelOneStream again("ABC", regular, false, true);
    std::string second;
    again.AppendSummary(&second, regular, 123);
    for (int i = 0; i < 200; ++i) {
        again.AppendUpdate(&second, i < 100 ? regular : evening, 456);
    }
    EXPECT_EQ(second, text);
    // Told none, the same evening streams regular trades.
    CLevelOneStream anyHour("ABC", regular);
    std::string night;
    for (int i = 0; i < 50; ++i) {
        anyHour.AppendUpdate(&night, evening, 456);
    }
    EXPECT_EQ(night.find("T,"), std::string::npos);
    EXPECT_NE(night.find("t,"), std::string::npos);
    std::string notFound;
    CLevelOneStream::AppendNotFound(&notFound, "BADX");
    EXPECT_EQ(notFound, "Q,BADX,,Not Found\r\n");
    EXPECT_EQ(feedsim_test::SplitAll("Q,BADX,,Not Found")[3], "Not Found");
}

TEST(AdminStatusTest, StateIsThe13thOfAtLeast21NonEmptyFields) {
    for (bool connected : {false, true}) {
        for (const char* login : {"", "john, doe", "-x"}) {
            CAdminStatus status;
            status.connected = connected;
            status.login = login;
            const std::string line = FormatAdminStatus(status);
            ASSERT_EQ(line.substr(line.size() - 2), "\r\n");
            const std::string body = line.substr(0, line.size() - 2);
            EXPECT_EQ(feedsim_test::AdminState(body), connected ? "Connected" : "Not Connected");
            for (const std::string& f : feedsim_test::SplitAll(body)) {
                EXPECT_FALSE(f.empty()) << line;
            }
        }
    }
}

TEST(SimOptionsTest, ParsesValuesAndRejectsMistakes) {
    CSimOptions o;
    std::string error;
    ASSERT_TRUE(ParseSimOptions(
        {"--lookup-port", "0", "--login", "-dash user", "--update-rate", "max", "--fault-garbage",
         "--no-listen", "admin", "--now", "2024-03-06 11:00:00", "--login-delay", "1.5"},
        &o, &error))
        << error;
    EXPECT_EQ(o.lookupPort, 0);
    EXPECT_EQ(o.level1Port, -1);
    EXPECT_EQ(o.login, "-dash user");
    EXPECT_TRUE(o.fastest);
    EXPECT_TRUE(o.garbage);
    EXPECT_FALSE(o.listenAdmin);
    EXPECT_TRUE(o.fixedNow);
    EXPECT_DOUBLE_EQ(o.loginDelaySeconds, 1.5);
    const std::vector<std::vector<std::string>> bad = {
        {"--lookup-port", "65536"}, {"--lookup-port"},        {"--bogus"},
        {"--now", "yesterday"},     {"--no-listen", "web"},   {"--login-delay", "-1"},
        {"--update-rate", "fast"},  {"--history-lines", "0"},
    };
    for (const auto& args : bad) {
        CSimOptions rejected;
        EXPECT_FALSE(ParseSimOptions(args, &rejected, &error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(LauncherArgsTest, FourOptionsEachOneArgument) {
    struct Case {
        std::vector<std::string> args;
        bool ok;
        const char* login;
        const char* password;
    } cases[] = {
        {{"-product", "NOVASCOPE_TRADER", "-version", "1.0.1.1", "-login", "u", "-password", "p"},
         true,
         "u",
         "p"},
        {{"-login", "john doe", "-password", "-secret word", "-product", "P", "-version", "V"},
         true,
         "john doe",
         "-secret word"},
        {{"-product", "P", "-version", "", "-login", "-login", "-password", "-password"},
         true,
         "-login",
         "-password"},
        {{"-product", "P", "-version", "V", "-login", "", "-password", "p"}, false, "", ""},
        {{"-product", "P", "-version", "V", "-login", "u", "-password", ""}, false, "", ""},
        {{"-product", "P", "-version", "V", "-login", "u"}, false, "", ""},
        {{"-product", "P", "-version", "V", "-login", "u", "-password"}, false, "", ""},
        {{"-product", "P", "-product", "V", "-login", "u", "-password", "p"}, false, "", ""},
        {{"-product", "P", "-version", "V", "-login", "u", "-password", "p", "extra"},
         false,
         "",
         ""},
        {{"-product P -version V -login u -password p"}, false, "", ""},
        {{}, false, "", ""},
    };
    for (const Case& c : cases) {
        CLauncherArgs parsed;
        std::string error;
        ASSERT_EQ(ParseLauncherArgs(c.args, &parsed, &error), c.ok) << error;
        if (c.ok) {
            EXPECT_EQ(parsed.login, c.login);
            EXPECT_EQ(parsed.password, c.password);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
    EXPECT_EQ(SplitSimArgs("  --admin-port 9400\t--fault-garbage "),
              (std::vector<std::string>{"--admin-port", "9400", "--fault-garbage"}));
    EXPECT_TRUE(SplitSimArgs(nullptr).empty());
    EXPECT_EQ(AdminPortOf(SplitSimArgs("--admin-port 9400")), 9400);
    EXPECT_EQ(AdminPortOf(SplitSimArgs("--lookup-port 1")), 9300);
}

}  // namespace
}  // namespace feedsim
