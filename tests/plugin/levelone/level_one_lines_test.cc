// Line assembly, dispatch, update and summary handling and the watch list of
// the level-one data object, without a connection.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "plugin/boundary/data_cache.h"
#include "plugin/boundary/feed_text.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/host_date.h"
#include "plugin/levelone/level_one.h"
#include "plugin/levelone/level_one_data.h"
#include "testing/host_recorder.h"
#include "tests/plugin/levelone/level_one_test_helper.h"
#include "tests/plugin/levelone/test_log.h"

namespace orvella {
namespace {

using testing::CRecordedRow;
using testing::CRecordingHostFeed;

// A line of the given kind with the fields set at their indexes and all
// fields before the highest one present (empty where not given).
std::wstring Line(wchar_t kind, std::initializer_list<std::pair<int, std::wstring>> set) {
    std::vector<std::wstring> fields(1, std::wstring(1, kind));
    for (const auto& [index, text] : set) {
        if (fields.size() <= static_cast<std::size_t>(index)) {
            fields.resize(static_cast<std::size_t>(index) + 1);
        }
        fields[static_cast<std::size_t>(index)] = text;
    }
    std::wstring line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        line += (i == 0 ? L"" : L",") + fields[i];
    }
    return line;
}

// An update line carrying a trade at 2011-08-01 with the time (and marker)
// given, trade price 10.5 volume 100, quote pairs (bid 10.4 x 5, ask 10.6 x 7).
std::wstring Trade(const std::wstring& symbol, const std::wstring& time = L"09:30:00t",
                   const std::wstring& bidSize = L"5", const std::wstring& price = L"10.5") {
    return Line(L'Q', {{1, symbol},
                       {7, L"100"},
                       {10, L"10.4"},
                       {11, L"10.6"},
                       {12, bidSize},
                       {13, L"7"},
                       {17, time},
                       {30, L"08/01/2011"},
                       {32, price}});
}

std::wstring Summary(const std::wstring& symbol) {
    return Line(L'P', {{1, symbol},
                       {3, L"12.0"},
                       {6, L"5000"},
                       {8, L"11.0"},
                       {9, L"9.5"},
                       {17, L"16:00:00"},
                       {19, L"10.0"},
                       {30, L"08/01/2011"}});
}

double At(int hour, int minute, int second) {
    return DateFromParts(2011, 8, 1, hour, minute, second).value;
}

CRecordedRow Row(const char* symbol, float series, std::vector<double> values) {
    return CRecordedRow{symbol, series, std::move(values)};
}

// Each case runs with the lines handed on as wide text and as the bytes the
// socket receives (update lines then read without widening).
class LevelOneLines : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        SetHostFeed(&m_feed);
        CGlobalState& globals = Globals();
        globals.historyInProgress = 0;
        globals.extendedTradesEnabled = 0;
        globals.tradeFilterOn = 0;
        while (DataCache().Count() > 0) {
            DataCache().TakeFirst();
        }
        // No connection: a watch only changes the list.
        CLevelOneTestHelper::ShortenWaits(m_data, 0, 0);
        StartLogCapture();
    }
    void TearDown() override {
        EXPECT_EQ(m_feed.orderFaults, 0);
        SetHostFeed(nullptr);
    }
    void Watch(const std::wstring& symbol, float interval) {
        m_data.WatchSymbol(symbol, interval);
        StartLogCapture();
    }
    void Feed(const std::wstring& line) {
        if (GetParam()) {
            m_data.OnLevelOneBytes(platform::NarrowText(line + L"\r\n"));
        } else {
            m_data.OnLevelOneData(line + L"\r\n");
        }
    }
    void Filter(int beginH, int beginM, int beginS, int endH, int endM, int endS) {
        CGlobalState& globals = Globals();
        globals.tradeFilterOn = 1;
        globals.filterBeginHour = beginH;
        globals.filterBeginMinute = beginM;
        globals.filterBeginSecond = beginS;
        globals.filterEndHour = endH;
        globals.filterEndMinute = endM;
        globals.filterEndSecond = endS;
    }

    CRecordingHostFeed m_feed;
    CLevelOneData m_data;
};

const std::wstring kZero(1, L'\0');
// One character more than the longest line taken.
const std::wstring kLong(kMaxFeedLineChars + 1, L'X');
const std::wstring kTooLong = L"Level1 line longer than 65536 characters dropped";

TEST_P(LevelOneLines, LinesAreCutAtLineFeedsAcrossReads) {
    struct Case {
        std::vector<std::wstring> chunks;
        std::vector<std::wstring> logged;
        std::wstring pending;
    };
    const Case cases[] = {
        {{L"E,one\n"}, {L"Level1 error message one"}, L""},
        {{L"E,o", L"ne\n"}, {L"Level1 error message one"}, L""},
        {{L"E,", L"o", L"n", L"e\r\nE,t"}, {L"Level1 error message one\r"}, L"E,t"},
        {{L"E,a\n\nE,b\n"}, {L"Level1 error message a", L"Level1 error message b"}, L""},
        {{L"\n\n\n"}, {}, L""},
        {{L"E"}, {}, L"E"},
        {{L"E\n", L"E,\n"}, {L"Level1 error message ", L"Level1 error message "}, L""},
        {{L"E,bad symbol\r\n"}, {L"Level1 error message bad symbol\r"}, L""},
        // A zero byte makes its line malformed; the lines around it stay.
        {{L"E,a\nE,b" + kZero + L"c\nE,d\n"},
         {L"Level1 error message a", L"Level1 line that could not be read dropped: E,b",
          L"Level1 error message d"},
         L""},
        {{L"E,b" + kZero, L"c\nE,d\nE,e"},
         {L"Level1 line that could not be read dropped: E,b", L"Level1 error message d"},
         L"E,e"},
        {{kZero + L"\nE,d\n", L"E,e\n"},
         {L"Level1 line that could not be read dropped: ", L"Level1 error message d",
          L"Level1 error message e"},
         L""},
        // A line longer than the bound is dropped once, however it arrives,
        // and the pending text never holds more than the bound.
        {{kLong + L"\nE,d\n"}, {kTooLong, L"Level1 error message d"}, L""},
        {{kLong, L"Y\nE,d\n"}, {kTooLong, L"Level1 error message d"}, L""},
        {{kLong.substr(0, 40000), kLong.substr(40000), kLong, L"\nE,d\nE"},
         {kTooLong, L"Level1 error message d"},
         L"E"},
        {{kLong}, {kTooLong}, L""},
        {{kLong.substr(1) + L"\nE,d\n"}, {L"Level1 error message d"}, L""},
    };
    // Each case as wide text and as the bytes the socket receives.
    for (const bool bytes : {false, true}) {
        for (const Case& c : cases) {
            CLevelOneData data;
            StartLogCapture();
            for (const std::wstring& chunk : c.chunks) {
                if (bytes) {
                    data.OnLevelOneBytes(platform::NarrowText(chunk));
                } else {
                    data.OnLevelOneData(chunk);
                }
            }
            EXPECT_EQ(CapturedLogLines(), c.logged) << c.chunks.front() << " bytes " << bytes;
            EXPECT_EQ(CLevelOneTestHelper::Pending(data), c.pending) << c.chunks.front();
        }
    }
}

TEST_P(LevelOneLines, EveryChunkIsCounted) {
    const int32_t before = Globals().levelOneChunkCount.load();
    m_data.OnLevelOneData(L"E,a");
    m_data.OnLevelOneData(L"\n");
    EXPECT_EQ(Globals().levelOneChunkCount.load(), before + 2);
}

TEST_P(LevelOneLines, SystemLines) {
    struct Case {
        const wchar_t* line;
        bool customerInfo;
        std::vector<std::wstring> logged;
    };
    const Case cases[] = {
        {L"S,CUST,real_time,1", true, {}},
        {L"S,,,CUSTOMER INFO", true, {}},
        {L"S,KEY,CUST", false, {}},
        {L"S,SERVER DISCONNECTED", false, {L"SERVER DISCONNECTED"}},
        {L"S,SERVER CONNECTED\r", false, {L"SERVER CONNECTED\r"}},
        {L"S,SYMBOL LIMIT REACHED,500", false, {L"SYMBOL LIMIT REACHED"}},
        {L"S,SERVER RECONNECT FAILED", false, {L"SERVER RECONNECT FAILED"}},
        {L"S,server connected", false, {}},
        {L"S,STATS,1,2", false, {}},
        {L"X,CUST", false, {}},
        {L"s,CUST", false, {}},
    };
    for (const Case& c : cases) {
        CLevelOneData data;
        StartLogCapture();
        data.OnLevelOneData(std::wstring(c.line) + L"\n");
        EXPECT_EQ(CLevelOneTestHelper::CustomerInfo(data), c.customerInfo) << c.line;
        EXPECT_EQ(CapturedLogLines(), c.logged) << c.line;
    }
}

TEST_P(LevelOneLines, FirstTickTradeSendsAskQuoteBidQuoteThenTrade) {
    Watch(L"ABC", 0.0f);
    Feed(Trade(L"ABC"));
    const double t = At(9, 30, 0);
    const std::vector<CRecordedRow> want = {
        Row("ABC", -0.0f, {t, 10.6, 7, 4.0}),
        Row("ABC", -0.0f, {t, 10.4, 5, 2.0}),
        Row("ABC", -0.0f, {t, 10.5, 100, 0.0}),
    };
    EXPECT_EQ(m_feed.rows, want);
    ASSERT_FALSE(m_feed.rows.empty());
    EXPECT_TRUE(std::signbit(m_feed.rows[0].series)) << "tick series is negative zero";
}

TEST_P(LevelOneLines, QuoteRowsOnlyWhenTheirPairChanged) {
    Watch(L"ABC", 0.0f);
    Feed(Trade(L"ABC"));
    m_feed.rows.clear();

    Feed(Trade(L"ABC", L"09:30:01t"));
    ASSERT_EQ(m_feed.rows.size(), 1u);
    EXPECT_EQ(m_feed.rows[0].values.back(), 0.0);

    m_feed.rows.clear();
    Feed(Trade(L"ABC", L"09:30:02t", L"6"));
    const double t = At(9, 30, 2);
    const std::vector<CRecordedRow> want = {
        Row("ABC", -0.0f, {t, 10.4, 6, 2.0}),
        Row("ABC", -0.0f, {t, 10.5, 100, 0.0}),
    };
    EXPECT_EQ(m_feed.rows, want);
}

TEST_P(LevelOneLines, SymbolsOfOneByteCharactersMatchTheirBytes) {
    Watch(L"\u00e9X", 5.0f);
    Watch(L"\u0100Y", 5.0f);
    Watch(L"Z", 5.0f);
    Feed(Trade(L"\u00e9X"));
    const std::vector<CRecordedRow> want = {Row("\xe9X", -5.0f, {At(9, 30, 0), 10.5, 100})};
    EXPECT_EQ(m_feed.rows, want);
    // No byte is U+0100: the bytes of its host symbol name no watched symbol.
    m_data.OnLevelOneBytes(platform::NarrowText(Trade(L"?Y") + L"\r\n"));
    EXPECT_EQ(m_feed.rows, want);
    // Unwatched, a symbol's bytes no longer find it.
    m_data.UnwatchSymbol(L"\u00e9X", 5.0f);
    Feed(Trade(L"\u00e9X"));
    Feed(Trade(L"Z"));
    ASSERT_EQ(m_feed.rows.size(), 2u);
    EXPECT_EQ(m_feed.rows.back().symbol, "Z");
}

TEST_P(LevelOneLines, BarSeriesGetOneRowPerTradeInWatchOrder) {
    Watch(L"ABC", 5.0f);
    Watch(L"ABC", 0.0f);
    Watch(L"ABC", 1440.0f);
    Feed(Trade(L"ABC"));
    const double t = At(9, 30, 0);
    const std::vector<CRecordedRow> want = {
        Row("ABC", -5.0f, {t, 10.5, 100}),    Row("ABC", -0.0f, {t, 10.6, 7, 4.0}),
        Row("ABC", -0.0f, {t, 10.4, 5, 2.0}), Row("ABC", -0.0f, {t, 10.5, 100, 0.0}),
        Row("ABC", -1440.0f, {t, 10.5, 100}),
    };
    EXPECT_EQ(m_feed.rows, want);
}

TEST_P(LevelOneLines, UpdateLinesThatSendNothing) {
    Watch(L"ABC", 5.0f);
    struct Case {
        std::wstring line;
        std::vector<std::wstring> logged;
    };
    const Case cases[] = {
        {Line(L'Q', {{1, L"XYZ"}, {3, L"Not Found"}, {4, L""}}), {L"Symbol XYZ was Not Found"}},
        // The feed's own form: the words end the line, before its CR LF.
        {Line(L'Q', {{1, L"XYZ"}, {3, L"Not Found"}}), {L"Symbol XYZ was Not Found"}},
        {Line(L'Q', {{1, L"ABC"}, {3, L"Not Found"}, {17, L"09:30:00t"}, {30, L"08/01/2011"}}),
         {L"Symbol ABC was Not Found"}},
        {Trade(L"ABC", L"09:30:00b"), {}},
        {Trade(L"ABC", L""), {}},
        {Trade(L"abc"), {}},
        {Trade(L"ABCD"), {}},
        {Trade(L"ABC", L"09:30:00T"), {}},
    };
    for (const Case& c : cases) {
        StartLogCapture();
        Feed(c.line);
        EXPECT_TRUE(m_feed.rows.empty()) << c.line;
        EXPECT_EQ(CapturedLogLines(), c.logged) << c.line;
    }
}

TEST_P(LevelOneLines, ExtendedTradesOnlyWhenEnabled) {
    Watch(L"ABC", 5.0f);
    struct Case {
        int enabled;
        const wchar_t* time;
        bool delivered;
    };
    const Case cases[] = {
        {0, L"09:30:00t", true}, {0, L"09:30:00T", false}, {1, L"09:30:00T", true},
        {1, L"09:30:00t", true}, {0, L"09:30:00tT", true}, {0, L"09:30:00Tt", false},
    };
    for (const Case& c : cases) {
        Globals().extendedTradesEnabled = c.enabled;
        m_feed.rows.clear();
        Feed(Trade(L"ABC", c.time));
        EXPECT_EQ(m_feed.rows.size(), c.delivered ? 1u : 0u) << c.enabled << " " << c.time;
    }
}

TEST_P(LevelOneLines, TradeTimeFilterIncludesItsBounds) {
    Watch(L"ABC", 5.0f);
    struct Case {
        int begin[3];
        int end[3];
        const wchar_t* time;
        bool delivered;
    };
    const Case cases[] = {
        {{9, 30, 0}, {16, 0, 0}, L"09:29:59t", false},
        {{9, 30, 0}, {16, 0, 0}, L"09:30:00t", true},
        {{9, 30, 0}, {16, 0, 0}, L"12:00:00t", true},
        {{9, 30, 0}, {16, 0, 0}, L"16:00:00t", true},
        {{9, 30, 0}, {16, 0, 0}, L"16:00:01t", false},
        // Begin after end: nothing passes.
        {{16, 0, 0}, {9, 30, 0}, L"12:00:00t", false},
        {{16, 0, 0}, {9, 30, 0}, L"09:00:00t", false},
        {{16, 0, 0}, {9, 30, 0}, L"17:00:00t", false},
        // A window bound that is no valid time does not drop anything.
        {{25, 0, 0}, {16, 0, 0}, L"08:00:00t", true},
        {{9, 30, 0}, {16, 0, 60}, L"20:00:00t", true},
    };
    for (const Case& c : cases) {
        Filter(c.begin[0], c.begin[1], c.begin[2], c.end[0], c.end[1], c.end[2]);
        m_feed.rows.clear();
        Feed(Trade(L"ABC", c.time));
        EXPECT_EQ(m_feed.rows.size(), c.delivered ? 1u : 0u)
            << c.begin[0] << ":" << c.begin[1] << " - " << c.end[0] << ":" << c.end[1] << " "
            << c.time;
    }
}

TEST_P(LevelOneLines, FilterOutOfForceLetsEverythingThrough) {
    Watch(L"ABC", 5.0f);
    Filter(9, 30, 0, 16, 0, 0);
    Globals().tradeFilterOn = 0;
    Feed(Trade(L"ABC", L"03:00:00t"));
    EXPECT_EQ(m_feed.rows.size(), 1u);
}

TEST_P(LevelOneLines, LinesThatCannotBeReadSendNoRowsAndAreCounted) {
    Watch(L"ABC", 0.0f);
    Watch(L"ABC", 1440.0f);
    std::wstring zero = Trade(L"ABC");
    zero[20] = L'\0';
    const std::wstring lines[] = {
        Trade(L"ABC", L"25:00:00t"),
        Line(L'Q', {{1, L"ABC"}, {17, L"10:00:00t"}}),
        Line(L'Q', {{1, L"ABC"}, {17, L"10:00:00t"}, {30, L"02/29/2011"}}),
        Line(L'P', {{1, L"ABC"}, {3, L"12.0"}, {17, L"16:00:00"}}),
        Line(L'P', {{1, L"ABC"}, {3, L"12.0"}, {17, L"16:00:00"}, {30, L"13/01/2011"}}),
        // A time without digits is no trade at midnight, a five-digit year
        // no year 9999.
        Trade(L"ABC", L"t"),
        Line(L'Q', {{1, L"ABC"}, {7, L"1"}, {17, L"10:00:00t"}, {30, L"08/01/20111"}, {32, L"1"}}),
        // Values that reach the host must be finite numbers.
        Trade(L"ABC", L"09:30:00t", L"5", L"1e400"),
        Trade(L"ABC", L"09:30:00t", L"5", L"nan"),
        Trade(L"ABC", L"09:30:00t", L"5", L""),
        Trade(L"ABC", L"09:30:00t", L"5", L"10.5x"),
        Trade(L"ABC", L"09:30:00t", L"inf"),
        Line(L'Q', {{1, L"ABC"}, {17, L"10:00:00t"}, {30, L"08/01/2011"}}),
        Line(L'P', {{1, L"ABC"},
                    {3, L"nan"},
                    {6, L"1"},
                    {8, L"1"},
                    {9, L"1"},
                    {17, L"16:00:00"},
                    {19, L"1"},
                    {30, L"08/01/2011"}}),
        zero,
    };
    for (const std::wstring& line : lines) {
        Feed(line);
    }
    EXPECT_TRUE(m_feed.rows.empty());
    EXPECT_EQ(m_data.MalformedLineCount(), static_cast<int64_t>(std::size(lines)));
    const std::vector<std::wstring> logged = {L"Level1 line that could not be read dropped: " +
                                              lines[0] + L"\r"};
    EXPECT_EQ(CapturedLogLines(), logged);
    // The daily entry still gets its summary from the next valid line.
    Feed(Summary(L"ABC"));
    EXPECT_EQ(m_feed.rows.size(), 4u);
}

TEST_P(LevelOneLines, QuotesAreNeededOnlyWhereTheyReachTheHost) {
    Watch(L"ABC", 5.0f);
    // No quotes: a bar series takes the trade, a tick series could not.
    const std::wstring noQuotes = Line(
        L'Q', {{1, L"ABC"}, {7, L"100"}, {17, L"09:30:00t"}, {30, L"08/01/2011"}, {32, L"10.5"}});
    Feed(noQuotes);
    EXPECT_EQ(m_feed.rows,
              (std::vector<CRecordedRow>{Row("ABC", -5.0f, {At(9, 30, 0), 10.5, 100.0})}));
    Watch(L"ABC", 0.0f);
    Feed(noQuotes);
    EXPECT_EQ(m_feed.rows.size(), 1u);
    EXPECT_EQ(m_data.MalformedLineCount(), 1);
}

TEST_P(LevelOneLines, SummaryServesTheFirstDailyOrLongerEntryOnce) {
    Watch(L"ABC", 0.0f);
    Watch(L"ABC", 5.0f);
    Watch(L"ABC", 1440.0f);
    Watch(L"ABC", 10080.0f);
    Feed(Summary(L"ABC"));
    const double t = At(16, 0, 0);
    const std::vector<CRecordedRow> daily = {
        Row("ABC", -1440.0f, {t, 10.0, 0.0}),
        Row("ABC", -1440.0f, {t, 11.0, 0.0}),
        Row("ABC", -1440.0f, {t, 9.5, 0.0}),
        Row("ABC", -1440.0f, {t, 12.0, 5000}),
    };
    EXPECT_EQ(m_feed.rows, daily);

    m_feed.rows.clear();
    Feed(Summary(L"ABC"));
    ASSERT_EQ(m_feed.rows.size(), 4u);
    EXPECT_EQ(m_feed.rows[0].series, -10080.0f);

    // Every entry has had its rows; requesting 1440 again does not reset it.
    m_feed.rows.clear();
    Watch(L"ABC", 1440.0f);
    Feed(Summary(L"ABC"));
    EXPECT_TRUE(m_feed.rows.empty());
}

TEST_P(LevelOneLines, SummaryForMonthlyIntervalsAndNotForIntraday) {
    struct Case {
        float interval;
        bool served;
    };
    const Case cases[] = {{43200.0f, true}, {302400.0f, true}, {0.0f, false},
                          {60.0f, false},   {1439.0f, false},  {20160.0f, false}};
    for (const Case& c : cases) {
        CLevelOneData data;
        CLevelOneTestHelper::ShortenWaits(data, 0, 0);
        data.WatchSymbol(L"M", c.interval);
        m_feed.rows.clear();
        data.OnLevelOneData(Summary(L"M") + L"\n");
        EXPECT_EQ(m_feed.rows.size(), c.served ? 4u : 0u) << c.interval;
    }
}

TEST_P(LevelOneLines, TodayInHistorySuppressesSummaryRows) {
    Watch(L"ABC", 1440.0f);
    CSymbolInfo* info = m_data.FindSymbol(L"ABC");
    ASSERT_NE(info, nullptr);
    info->m_bTodayInHistory = 1;
    Feed(Summary(L"ABC"));
    EXPECT_TRUE(m_feed.rows.empty());
    EXPECT_EQ(info->m_aIntervals[0].m_bSummaryDone, 0);
    info->m_bTodayInHistory = 0;
    Feed(Summary(L"ABC"));
    EXPECT_EQ(m_feed.rows.size(), 4u);
}

TEST_P(LevelOneLines, LinesDuringHistoryAreHeldThenHandledInArrivalOrder) {
    Watch(L"ABC", 5.0f);
    Watch(L"ABC", 1440.0f);
    Globals().historyInProgress = 1;
    Feed(Summary(L"ABC"));
    Feed(Trade(L"ABC", L"09:31:00t"));
    Feed(L"E,still logged");
    EXPECT_TRUE(m_feed.rows.empty());
    EXPECT_EQ(DataCache().Count(), 2);
    EXPECT_EQ(CapturedLogLines(),
              std::vector<std::wstring>{L"Level1 error message still logged\r"});

    // Clearing the flag alone hands nothing on; the next update line does.
    Globals().historyInProgress = 0;
    EXPECT_TRUE(m_feed.rows.empty());
    Feed(Trade(L"ABC", L"09:32:00t"));
    EXPECT_EQ(DataCache().Count(), 0);
    const double s = At(16, 0, 0);
    const std::vector<CRecordedRow> want = {
        Row("ABC", -1440.0f, {s, 10.0, 0.0}),
        Row("ABC", -1440.0f, {s, 11.0, 0.0}),
        Row("ABC", -1440.0f, {s, 9.5, 0.0}),
        Row("ABC", -1440.0f, {s, 12.0, 5000}),
        Row("ABC", -5.0f, {At(9, 31, 0), 10.5, 100}),
        Row("ABC", -1440.0f, {At(9, 31, 0), 10.5, 100}),
        Row("ABC", -5.0f, {At(9, 32, 0), 10.5, 100}),
        Row("ABC", -1440.0f, {At(9, 32, 0), 10.5, 100}),
    };
    EXPECT_EQ(m_feed.rows, want);
}

TEST_P(LevelOneLines, WatchListKeepsOneEntryPerIntervalInRequestOrder) {
    Watch(L"ABC", 5.0f);
    Watch(L"ABC", 5.0f);
    Watch(L"ABC", 1440.0f);
    Watch(L"abc", 5.0f);
    const CSymbolInfo* upper = m_data.FindSymbol(L"ABC");
    const CSymbolInfo* lower = m_data.FindSymbol(L"abc");
    ASSERT_NE(upper, nullptr);
    ASSERT_NE(lower, nullptr);
    EXPECT_NE(upper, lower);
    ASSERT_EQ(upper->m_aIntervals.size(), 2u);
    EXPECT_EQ(upper->m_aIntervals[0].m_fInterval, 5.0f);
    EXPECT_EQ(upper->m_aIntervals[1].m_fInterval, 1440.0f);
    EXPECT_EQ(lower->m_aIntervals.size(), 1u);
    EXPECT_EQ(m_data.FindSymbol(L"Abc"), nullptr);
    EXPECT_EQ(upper->m_dType4Price, -1.0);
    EXPECT_EQ(upper->m_dType2Size, -1.0);
}

TEST_P(LevelOneLines, WatchWithoutCustomerInformationSendsNothing) {
    StartLogCapture();
    EXPECT_FALSE(m_data.WatchSymbol(L"ABC", 5.0f));
    const std::vector<std::wstring> want = {
        L"Watching symbol ABC; interval 5.000000",
        L"No watch command sent since Level One socket was not ready!",
    };
    EXPECT_EQ(CapturedLogLines(), want);
    EXPECT_NE(m_data.FindSymbol(L"ABC"), nullptr);
}

TEST_P(LevelOneLines, RowsFollowTheWatchListAsItChanges) {
    Watch(L"ABC", 5.0f);
    Watch(L"XYZ", 5.0f);
    EXPECT_TRUE(m_data.UnwatchSymbol(L"ABC", 5.0f));
    EXPECT_EQ(m_data.FindSymbol(L"ABC"), nullptr);
    Feed(Trade(L"ABC"));
    Feed(Trade(L"XYZ"));
    Watch(L"ABC", 1.0f);
    Feed(Trade(L"ABC"));
    const std::vector<CRecordedRow> want = {
        Row("XYZ", -5.0f, {At(9, 30, 0), 10.5, 100}),
        Row("ABC", -1.0f, {At(9, 30, 0), 10.5, 100}),
    };
    EXPECT_EQ(m_feed.rows, want);
}

TEST_P(LevelOneLines, UnwatchOfUnknownSymbolOrIntervalChangesNothing) {
    Watch(L"ABC", 5.0f);
    Watch(L"ABC", 1440.0f);
    EXPECT_FALSE(m_data.UnwatchSymbol(L"XYZ", 5.0f));
    EXPECT_FALSE(m_data.UnwatchSymbol(L"abc", 5.0f));
    EXPECT_TRUE(m_data.UnwatchSymbol(L"ABC", 60.0f));
    EXPECT_TRUE(m_data.UnwatchSymbol(L"ABC", 5.0f));
    const CSymbolInfo* info = m_data.FindSymbol(L"ABC");
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->m_aIntervals.size(), 1u);
    EXPECT_EQ(info->m_aIntervals[0].m_fInterval, 1440.0f);
    EXPECT_TRUE(CapturedLogLines().empty());
}

}  // namespace
}  // namespace orvella

namespace orvella {
namespace {

INSTANTIATE_TEST_SUITE_P(WideAndBytes, LevelOneLines, ::testing::Bool());

TEST(LivenessTick, ProbesOnlyWhenNothingArrivedForAWholePeriod) {
    struct Case {
        int32_t count;
        int32_t lastSeen;
        int32_t history;
        bool probe;
        int32_t lastSeenAfter;
    };
    const Case cases[] = {
        {0, 0, 0, false, 0},                        // nothing ever received: never probe
        {5, 0, 0, false, 5},                        // chunks arrived since the last tick
        {5, 3, 0, false, 5},   {5, 5, 0, true, 5},  // silent for a period
        {5, 5, 1, false, 5},                        // silent, but a history load runs
        {-7, -7, 0, true, -7},
    };
    for (const Case& c : cases) {
        int32_t lastSeen = c.lastSeen;
        EXPECT_EQ(LivenessTickWantsProbe(c.count, &lastSeen, c.history), c.probe)
            << c.count << " " << c.lastSeen << " " << c.history;
        EXPECT_EQ(lastSeen, c.lastSeenAfter);
    }
}

TEST(LivenessTick, NullContextDoesNothing) {
    Globals().levelOneChunkCount = 9;
    Globals().lastSeenChunkCount = 1;
    LivenessTimerProc(nullptr, true);
    EXPECT_EQ(Globals().lastSeenChunkCount.load(), 1);
    int32_t context = 123;
    LivenessTimerProc(&context, true);
    EXPECT_EQ(Globals().lastSeenChunkCount.load(), 9);
}

}  // namespace
}  // namespace orvella
