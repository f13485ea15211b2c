// Pure logic of the stand-in feed: request parsing, the synthetic market and
// its reply sources, level-one and admin lines, options and launcher
// arguments. Every generated line goes through the independent checker.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
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

std::string Reply(const std::string& requestLine, CivilSeconds now, int64_t forced = 0,
                  CMarketShape shape = {}) {
    CHistoryRequest request;
    std::string error;
    EXPECT_TRUE(ParseHistoryRequest(requestLine, &request, &error)) << requestLine;
    CReplySettings settings;
    settings.now = now;
    settings.forcedLines = forced;
    settings.market = shape;
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

int64_t Micros(const char* text) {
    return At(text) * kMicrosPerSecond;
}

TEST(SyntheticMarketTest, TicksAreOrderedRealisticAndMarkedBySession) {
    CSyntheticMarket market("ABC", {4.0, true});
    const int64_t day = DayOf(At("2024-03-06"));
    std::vector<CTick> ticks;
    market.DayTicks(day, Micros("2024-03-06 23:59:59"), &ticks);
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
            ASSERT_GT(t.micros, ticks[i - 1].micros);
            ASSERT_EQ(t.time, t.micros / kMicrosPerSecond);
            ASSERT_EQ(t.dayVolume, ticks[i - 1].dayVolume + t.size);
            // A random walk: no jump above 2 % between neighbouring trades.
            ASSERT_LT(std::abs(t.priceCents - ticks[i - 1].priceCents), t.priceCents / 50 + 3);
        }
        extended += t.extended;
    }
    EXPECT_GT(extended, 100);
    std::vector<CTick> weekend;
    market.DayTicks(DayOf(At("2024-03-09")), Micros("2024-03-09 23:59:59"), &weekend);
    EXPECT_TRUE(weekend.empty());
    // Told no session, every hour of every day trades, all of it regular.
    CSyntheticMarket anyHour("ABC", {4.0, false});
    anyHour.DayTicks(DayOf(At("2024-03-09")), Micros("2024-03-09 23:59:59"), &weekend);
    EXPECT_GT(weekend.size(), 4u * 86400 / 2);
    EXPECT_LT(SecondOfDay(weekend.front().time), 60);
    for (const CTick& t : weekend) {
        ASSERT_FALSE(t.extended);
    }
}

// A minute's bar is the sum of its trades: open and close are its first and
// last trade, high and low its extremes, its volume the sum of the sizes.
TEST(SyntheticMarketTest, MinuteBarsAreTheirTrades) {
    for (double rate : {0.05, 0.5, 4.0, 40.0}) {
        CSyntheticMarket market("XYZ", {rate, false});
        int traded = 0;
        for (int64_t m = MinuteOf(At("2024-03-06 10:00:00"));
             m < MinuteOf(At("2024-03-06 10:30:00")); ++m) {
            const CMinuteBar bar = market.Minute(m);
            std::vector<CTick> ticks;
            market.MinuteTicks(bar, 1000, 7, &ticks);
            ASSERT_EQ(ticks.size(), static_cast<size_t>(bar.trades)) << rate;
            if (ticks.empty()) {
                continue;
            }
            ++traded;
            int64_t high = 0, low = INT64_MAX, volume = 0;
            for (const CTick& t : ticks) {
                high = std::max(high, t.priceCents);
                low = std::min(low, t.priceCents);
                volume += t.size;
                ASSERT_GT(t.size, 0);
                ASSERT_EQ(MinuteOf(t.time), m);
            }
            EXPECT_EQ(ticks.front().priceCents, bar.openCents) << rate;
            EXPECT_EQ(ticks.back().priceCents, bar.closeCents) << rate;
            EXPECT_EQ(high, bar.highCents) << rate;
            EXPECT_EQ(low, bar.lowCents) << rate;
            EXPECT_EQ(volume, bar.volume) << rate;
            EXPECT_EQ(ticks.back().dayVolume, 1000 + bar.volume);
            EXPECT_EQ(ticks.front().id, 8u);
        }
        EXPECT_GT(traded, 0) << rate;
    }
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
        {"HTT,ABC,20240306 093000,,,000000,235959,1", CheckTickLine, 5000},
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
    const CMarketShape session{4.0, true};
    struct Case {
        const char* now;
        const char* request;
        bool session;
        const char* lastDate;
    } cases[] = {
        {"2024-03-06 11:00:00", "HDX,ABC,,1", true, "2024-03-06"},  // in session: today
        {"2024-03-06 08:00:00", "HDX,ABC,,1", true, "2024-03-05"},  // before the open: yesterday
        {"2024-03-09 12:00:00", "HDX,ABC,,1", true, "2024-03-08"},  // Saturday: Friday
        {"2024-03-06 11:00:00", "HWX,ABC,,1", true, "2024-03-06"},
        {"2024-03-06 11:00:00", "HMX,ABC,,1", true, "2024-03-06"},
        // A market of any hour trades from midnight, weekends too.
        {"2024-03-06 08:00:00", "HDX,ABC,,1", false, "2024-03-06"},
        {"2024-03-09 00:05:00", "HDX,ABC,,1", false, "2024-03-09"},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> lines =
            Lines(Reply(c.request, At(c.now), 0, c.session ? session : CMarketShape{}));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().substr(0, 10), c.lastDate) << c.now << " " << c.request;
    }
    // Weekly bars carry the last trading day of each week, monthly of each month.
    const std::vector<std::string> weeks =
        Lines(Reply("HWX,ABC,3,1", At("2024-03-06 11:00:00"), 0, session));
    ASSERT_EQ(weeks.size(), 3u);
    EXPECT_EQ(weeks[0].substr(0, 10), "2024-02-23");
    EXPECT_EQ(weeks[1].substr(0, 10), "2024-03-01");
    const std::vector<std::string> months =
        Lines(Reply("HMX,ABC,2,1", At("2024-03-06 11:00:00"), 0, session));
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
    CLevelOneStream stream("ABC", {4.0, true}, regular * kMicrosPerSecond, true);
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
    CLevelOneStream again("ABC", {4.0, true}, regular * kMicrosPerSecond, true);
    std::string second;
    again.AppendSummary(&second, regular, 123);
    for (int i = 0; i < 200; ++i) {
        again.AppendUpdate(&second, i < 100 ? regular : evening, 456);
    }
    EXPECT_EQ(second, text);
    // Told none, the same evening streams regular trades.
    CLevelOneStream anyHour("ABC", {}, regular * kMicrosPerSecond, true);
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

// One market: what the level-one port streams over a stretch of time is what
// the lookup port's history holds for it afterwards, trade for trade, bar for
// bar, and a stand-in restarted with its clock running on streams the same.
struct COneMarket {
    const char* name;
    CMarketShape shape;
    const char* from;  // a minute's start
    int seconds;       // how long it streams
    int restartAfter;  // seconds after from when it restarts (0: never)
};

void PrintTo(const COneMarket& c, std::ostream* out) {
    *out << c.name;
}

class OneMarketTest : public ::testing::TestWithParam<COneMarket> {};

// Streams the symbol from just before fromMicros's second up to untilMicros,
// the feed's clock stepping a tenth of a second at a time.
void Stream(CLevelOneStream* stream, int64_t fromMicros, int64_t untilMicros,
            std::vector<std::string>* lines) {
    for (int64_t now = fromMicros; now <= untilMicros + 100000; now += 100000) {
        std::string text;
        while (stream->TradeDue(std::min(now, untilMicros))) {
            stream->AppendNextTrade(&text, 0);
        }
        for (const std::string& line : Lines(text)) {
            ASSERT_EQ(CheckLevelOneLine(line), "") << line;
            lines->push_back(feedsim_test::AsTickLine(line));
        }
    }
}

TEST_P(OneMarketTest, HistoryHoldsExactlyTheStreamedTrades) {
    const COneMarket& c = GetParam();
    const CivilSeconds from = At(c.from);
    const CivilSeconds to = from + c.seconds - 1;
    const int64_t untilMicros = to * kMicrosPerSecond + kMicrosPerSecond - 1;
    std::vector<std::string> streamed;
    if (c.restartAfter > 0) {
        const int64_t restart = (from + c.restartAfter) * kMicrosPerSecond;
        CLevelOneStream before("ABC", c.shape, from * kMicrosPerSecond - 1);
        Stream(&before, from * kMicrosPerSecond, restart, &streamed);
        CLevelOneStream after("ABC", c.shape, restart);
        Stream(&after, restart, untilMicros, &streamed);
    } else {
        CLevelOneStream stream("ABC", c.shape, from * kMicrosPerSecond - 1);
        Stream(&stream, from * kMicrosPerSecond, untilMicros, &streamed);
    }

    auto history = [&](const std::string& request) {
        CHistoryRequest r;
        std::string error;
        EXPECT_TRUE(ParseHistoryRequest(request, &r, &error)) << request;
        CReplySettings settings;
        settings.now = to;
        settings.market = c.shape;
        return Lines(Drain(MakeReplySource(r, settings).get()));
    };
    char start[32];
    const CivilDateTime s = BreakDown(from);
    std::snprintf(start, sizeof start, "%04d%02d%02d %02d%02d%02d", s.year, s.month, s.day, s.hour,
                  s.minute, s.second);
    const std::vector<std::string> ticks = history(std::string("HTT,ABC,") + start + ",,,,,1");
    ASSERT_EQ(ticks, streamed);

    // The minute bars are the streamed trades' bars.
    std::vector<std::string> bars;
    for (size_t i = 0; i < streamed.size();) {
        const std::string minute = streamed[i].substr(0, 16);
        std::vector<std::string> f = feedsim_test::SplitAll(streamed[i]);
        double open = std::atof(f[1].c_str()), high = open, low = open, close = open;
        long volume = 0, trades = 0;
        std::string dayVolume;
        for (; i < streamed.size() && streamed[i].compare(0, 16, minute) == 0; ++i) {
            f = feedsim_test::SplitAll(streamed[i]);
            close = std::atof(f[1].c_str());
            high = std::max(high, close);
            low = std::min(low, close);
            volume += std::atol(f[2].c_str());
            dayVolume = f[3];
            ++trades;
        }
        char line[160];
        std::snprintf(line, sizeof line, "%s:00,%.2f,%.2f,%.2f,%.2f,%s,%ld,%ld,", minute.c_str(),
                      high, low, open, close, dayVolume.c_str(), volume, trades);
        bars.push_back(line);
    }
    EXPECT_EQ(history(std::string("HIT,ABC,60,") + start + ",,,,,1"), bars);

    // Today's day bar holds the day's volume the last trade reported.
    if (!c.shape.session && !streamed.empty()) {
        const std::vector<std::string> days = history("HDX,ABC,1,1");
        ASSERT_EQ(days.size(), 1u);
        EXPECT_EQ(feedsim_test::SplitAll(days[0])[5], feedsim_test::SplitAll(streamed.back())[3]);
    }
    if (std::string(c.name).find("quiet") != std::string::npos) {
        EXPECT_TRUE(streamed.empty());
    } else {
        EXPECT_GE(streamed.size(), static_cast<size_t>(c.shape.rate * c.seconds / 2)) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Agreement, OneMarketTest,
    ::testing::Values(
        COneMarket{"any_hour_in_the_morning", {20.0, false}, "2024-03-06 11:00:00", 150, 0},
        COneMarket{"any_hour_across_midnight", {4.0, false}, "2024-03-09 23:59:00", 120, 0},
        COneMarket{"slow_market", {0.2, false}, "2024-03-06 11:00:00", 900, 0},
        COneMarket{"session_across_the_close", {20.0, true}, "2024-03-06 15:59:00", 120, 0},
        COneMarket{"session_night_is_quiet", {20.0, true}, "2024-03-09 03:00:00", 60, 0},
        COneMarket{
            "restart_with_a_clock_that_runs_on", {20.0, false}, "2024-03-06 11:00:00", 90, 37}),
    [](const ::testing::TestParamInfo<COneMarket>& info) { return std::string(info.param.name); });

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
