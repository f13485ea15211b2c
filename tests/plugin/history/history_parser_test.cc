#include "plugin/history/history_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "history_doubles.h"
#include "plugin/boundary/feed_text.h"
#include "plugin/boundary/global_state.h"
#include "plugin/history/history_thread.h"

namespace orvella {
namespace {

using Rows = std::vector<std::vector<double>>;

constexpr double kAug1 = 40756.0;  // 1 August 2011
constexpr double kNineThirty = 9.5 / 24;

// One request's parser state, as RunHistoryRequest leaves it before the
// reply arrives.
class HistoryParserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::ClearLog();
        test::WatchedSymbols().clear();
        Globals().streamingEnabled = 0;
        Globals().extendedTradesEnabled = 0;
    }
    void TearDown() override {
        Globals().streamingEnabled = 0;
        Globals().extendedTradesEnabled = 0;
    }

    void Start(const wchar_t* type, float interval, CHistoryThread& t) {
        CHistoryData& data = t.m_data;
        data.m_pThread = &t;
        data.m_pCompletionEvent = &event;
        data.m_strRequestType = type;
        data.m_strSymbol = L"ABC";
        data.m_fInterval = interval;
        // Request time 10.5 days after the first data day; 11 days requested.
        data.m_dtRequestTime = HostDate{kAug1 + 10.5, kDateValid};
        data.m_nTotalDays = 11;
    }
    void Start(const wchar_t* type, float interval) { Start(type, interval, thread); }
    void Feed(std::wstring_view text) { ProcessHistoryText(thread.m_data, text); }
    Rows RowsSent() const { return scope.host.Rows(); }

    test::CHostFeedScope scope;
    platform::CEvent event{false, false};
    CHistoryThread thread{&event};
};

TEST_F(HistoryParserTest, DayBarOneRowWithoutStreaming) {
    Start(L"HDX", 1440.0f);
    Feed(L"2011-08-01,12.5,12.0,12.2,12.4,1000,7\r\n");
    EXPECT_EQ(RowsSent(), (Rows{{kAug1, 12.2, 12.5, 12.0, 12.4, 1000.0}}));
    EXPECT_EQ(scope.host.Texts().front(), "V ABC 1440 1 40756");
    EXPECT_EQ(scope.host.orderFaults, 0);
}

TEST_F(HistoryParserTest, DayBarFourRowsWhileStreaming) {
    Globals().streamingEnabled = 1;
    Start(L"HWX", 10080.0f);
    Feed(L"2011-08-01,12.5,12.0,12.2,12.4,1000,7\r\n");
    EXPECT_EQ(
        RowsSent(),
        (Rows{{kAug1, 12.2, 0.0}, {kAug1, 12.5, 0.0}, {kAug1, 12.0, 0.0}, {kAug1, 12.4, 1000.0}}));
    EXPECT_EQ(scope.host.Texts().front(), "V ABC -10080 1 40756");
}

// A streaming chart's load keeps its reply's last bar back for the trades
// that make it; the bars before it are charted as they come, across chunks.
TEST_F(HistoryParserTest, LastBarKeptBackWhenItComesFromTrades) {
    Globals().streamingEnabled = 1;
    Start(L"HIT", 1.0f);
    thread.m_data.m_bKeepLastBar = true;
    Feed(L"2011-08-01 09:30:00,12.5,12.0,12.2,12.4,999,1000\r\n2011-08-01 09:31:00,13");
    EXPECT_TRUE(RowsSent().empty());
    Feed(L".5,13.0,13.2,13.4,999,500\r\n!ENDMSG!\r\n");
    const double at = kAug1 + kNineThirty;
    EXPECT_EQ(RowsSent(),
              (Rows{{at, 12.2, 0.0}, {at, 12.5, 0.0}, {at, 12.0, 0.0}, {at, 12.4, 1000.0}}));
    ASSERT_TRUE(thread.m_data.m_bHasKeptBar);
    const CHistoryBar& kept = thread.m_data.m_keptBar;
    EXPECT_DOUBLE_EQ(kept.date, at + 1.0 / 1440);
    EXPECT_EQ((std::vector<double>{kept.open, kept.high, kept.low, kept.close, kept.volume}),
              (std::vector<double>{13.2, 13.5, 13.0, 13.4, 500.0}));
    EXPECT_EQ(thread.m_data.m_nDataLines, 2);
}

// A last-bar request's lines dated before its start are no part of the bar.
TEST_F(HistoryParserTest, LastBarPartSkipsLinesBeforeItsStart) {
    Globals().streamingEnabled = 1;
    Start(L"HTT", 5.0f);
    thread.m_data.m_bGapTrades = true;
    thread.m_data.m_bLastBarPart = true;
    thread.m_data.m_dStartDate = kAug1 + kNineThirty;
    Feed(
        L"2011-08-01 09:29:59,12.5,100,1,12.4,12.6,2,3,4,\r\n"
        L"2011-08-01 09:30:00,12.6,200,1,12.4,12.6,2,3,4,\r\n");
    EXPECT_EQ(RowsSent(), (Rows{{kAug1 + kNineThirty, 12.6, 200.0}}));
    EXPECT_EQ(thread.m_data.m_nDataLines, 1);
}

TEST_F(HistoryParserTest, IntervalBarVolumeInSixthField) {
    Start(L"HIT", 5.0f);
    Feed(L"2011-08-01 09:30:00,12.5,12.0,12.2,12.4,999,1000\r\n");
    EXPECT_EQ(RowsSent(), (Rows{{kAug1 + kNineThirty, 12.2, 12.5, 12.0, 12.4, 1000.0}}));
}

TEST_F(HistoryParserTest, LineLayouts) {
    struct Case {
        const char* name;
        const wchar_t* line;
        Rows rows;
    } cases[] = {
        {"leading identifier skipped",
         L"REQ1,2011-08-01,12.5,12.0,12.2,12.4,1000,7\r\n",
         {{kAug1, 12.2, 12.5, 12.0, 12.4, 1000.0}}},
        {"empty field shifts left",
         L"2011-08-01,,12.5,12.0,12.2,12.4,1000,7\r\n",
         {{kAug1, 12.2, 12.5, 12.0, 12.4, 1000.0}}},
        {"missing unread last field",
         L"2011-08-01,12.5,12.0,12.2,12.4,1000\r\n",
         {{kAug1, 12.2, 12.5, 12.0, 12.4, 1000.0}}},
        {"unparsable number skips the line", L"2011-08-01,x,12.0,12.2,12.4,-,7\r\n", {}},
        {"unread fields need not be numbers",
         L"2011-08-01,12.5,12.0,12.2,12.4,1000,x\r\n",
         {{kAug1, 12.2, 12.5, 12.0, 12.4, 1000.0}}},
        {"bare line feed",
         L"2011-08-01,12.5,12.0,12.2,12.4,1000,7\n",
         {{kAug1, 12.2, 12.5, 12.0, 12.4, 1000.0}}},
    };
    for (const Case& c : cases) {
        test::CHostFeedScope local;
        platform::CEvent localEvent(false, false);
        CHistoryThread t(&localEvent);
        Start(L"HDX", 1440.0f, t);
        ProcessHistoryText(t.m_data, c.line);
        EXPECT_EQ(local.host.Rows(), c.rows) << c.name;
    }
}

TEST_F(HistoryParserTest, TickQuoteRowsOnlyWhenTheQuoteChanges) {
    Start(L"HTT", 0.0f);
    const double t = kAug1 + kNineThirty;
    Feed(L"2011-08-01 09:30:00,12.5,100,5000,12.4,12.6,1,300,200,C\r\n");
    Feed(L"2011-08-01 09:30:00,12.55,50,5050,12.4,12.6,2,300,200,C\r\n");
    Feed(L"2011-08-01 09:30:00,12.5,10,5060,12.45,12.6,3,300,200,C\r\n");
    EXPECT_EQ(RowsSent(), (Rows{{t, 12.6, 200.0, 4.0},
                                {t, 12.4, 300.0, 2.0},
                                {t, 12.5, 100.0, 0.0},
                                {t, 12.55, 50.0, 0.0},
                                {t, 12.45, 300.0, 2.0},
                                {t, 12.5, 10.0, 0.0}}));
    // Ticks use the negated interval: negative zero.
    EXPECT_EQ(scope.host.Texts().front().rfind("V ABC -0 1 40756.3958", 0), 0u);
}

TEST_F(HistoryParserTest, QuoteOfMinusOneSendsNoQuoteRow) {
    Start(L"HTT", 0.0f);
    Feed(L"2011-08-01 09:30:00,12.5,100,5000,-1,-1,1,-1,-1,C\r\n");
    EXPECT_EQ(RowsSent(), (Rows{{kAug1 + kNineThirty, 12.5, 100.0, 0.0}}));
}

TEST_F(HistoryParserTest, ExtendedTradeFilter) {
    const wchar_t* extended = L"2011-08-02 09:30:00,12.5,100,5000,12.4,12.6,1,300,200,OE\r\n";
    Start(L"HTT", 0.0f);
    Feed(extended);
    EXPECT_TRUE(scope.host.Texts().empty());  // no rows and no progress

    test::CHostFeedScope local;
    platform::CEvent localEvent(false, false);
    CHistoryThread admitted(&localEvent);
    Globals().extendedTradesEnabled = 1;
    Start(L"HTT", 0.0f, admitted);
    ProcessHistoryText(admitted.m_data, extended);
    EXPECT_EQ(local.host.Rows().size(), 3u);
    EXPECT_EQ(local.host.Percents(), std::vector<int>{9});
}

TEST_F(HistoryParserTest, EndLineFinishesTheLoad) {
    Start(L"HIT", 5.0f);
    Feed(L"2011-08-01 09:30:00,1,1,1,1,1,1\r\n!ENDMSG!\r\n2011-08-01 09:35:00,2,2,2,2,2,2\r\n");
    EXPECT_EQ(RowsSent().size(), 1u);
    EXPECT_EQ(scope.host.Percents(), std::vector<int>{100});
    EXPECT_EQ(thread.m_bDone, 1);
    EXPECT_TRUE(thread.m_data.m_strPending.empty());
    EXPECT_TRUE(event.Wait(0));
    // Text after the end of the reply is ignored.
    Feed(L"2011-08-01 09:40:00,3,3,3,3,3,3\r\n");
    EXPECT_EQ(RowsSent().size(), 1u);
    EXPECT_EQ(scope.host.Percents(), std::vector<int>{100});
}

TEST_F(HistoryParserTest, EndAndErrorLines) {
    struct Case {
        const wchar_t* line;
        const wchar_t* logged;  // null: no "History request" line
    } cases[] = {
        {L"!ENDMSG!\r\n", nullptr},
        {L"xx!ENDMSG!yy\r\n", nullptr},
        {L"E\r\n", nullptr},
        {L"X,2011-08-01,1,2,3,4,5,6\r\n", nullptr},
        {L"E,!NO_DATA!,\r\n", L"History request !NO_DATA"},
        {L"E,\r\n", L"History request "},
        {L"E,x\r\n", L"History request "},
        {L"E,xy\r\n", L"History request "},
        {L"E,xyz\r\n", L"History request x"},
    };
    for (const Case& c : cases) {
        test::CHostFeedScope local;
        test::ClearLog();
        platform::CEvent localEvent(false, false);
        CHistoryThread t(&localEvent);
        Start(L"HIT", 5.0f, t);
        ProcessHistoryText(t.m_data, c.line);
        EXPECT_EQ(t.m_bDone, 1) << c.line;
        EXPECT_EQ(local.host.Texts(), std::vector<std::string>{"P 100"}) << c.line;
        bool loggedRequest = false;
        for (const std::wstring& line : test::LogLines()) {
            loggedRequest |= line.rfind(L"History request", 0) == 0;
        }
        if (c.logged != nullptr) {
            EXPECT_TRUE(test::LogContains(c.logged)) << c.line;
        } else {
            EXPECT_FALSE(loggedRequest) << c.line;
        }
    }
}

TEST_F(HistoryParserTest, LinesSplitOverChunks) {
    Start(L"HDX", 1440.0f);
    Feed(L"2011-08-01,12.5,12.0,");
    EXPECT_TRUE(scope.host.Texts().empty());
    Feed(L"12.2,12.4");
    EXPECT_TRUE(scope.host.Texts().empty());
    Feed(L",1000,7\r");
    Feed(L"\n2011-08-02,1,2,3,4,5,6\r\n2011-08-0");
    EXPECT_EQ(RowsSent(), (Rows{{kAug1, 12.2, 12.5, 12.0, 12.4, 1000.0},
                                {kAug1 + 1, 3.0, 1.0, 2.0, 4.0, 5.0}}));
    EXPECT_EQ(thread.m_data.m_strPending, L"2011-08-0");
    EXPECT_EQ(thread.m_nChunks, 4);
}

TEST_F(HistoryParserTest, ProgressPerNewDay) {
    Start(L"HDX", 1440.0f);
    Feed(
        L"2011-08-01,1,1,1,1,1,1\r\n2011-08-01,1,1,1,1,1,1\r\n"
        L"2011-08-02,1,1,1,1,1,1\r\n2011-08-02,1,1,1,1,1,1\r\n"
        L"2011-08-11,1,1,1,1,1,1\r\n2011-08-11,1,1,1,1,1,1\r\n"
        L"2011-08-20,1,1,1,1,1,1\r\n!ENDMSG!\r\n");
    EXPECT_EQ(scope.host.Percents(), (std::vector<int>{9, 90, 100}));
}

TEST_F(HistoryParserTest, ProgressBelowOnePercentIsSentAsZero) {
    Start(L"HDX", 1440.0f);
    thread.m_data.m_nTotalDays = 300;
    thread.m_data.m_dtRequestTime = HostDate{kAug1 + 299.5, kDateValid};
    Feed(L"2011-08-02,1,1,1,1,1,1\r\n");
    EXPECT_EQ(scope.host.Percents(), std::vector<int>{0});
}

TEST(HistoryProgressPercent, Values) {
    const HostDate request{kAug1 + 10.5, kDateValid};
    struct Case {
        uint16_t totalDays;
        double day;
        std::optional<int> percent;
    } cases[] = {
        {11, kAug1, std::nullopt},    {11, kAug1 + 1, 9},
        {11, kAug1 + 10, 90},         {11, kAug1 + 12, std::nullopt},
        {0, kAug1 + 1, std::nullopt}, {1, kAug1 + 10, std::nullopt},
        {300, kAug1 - 288, 0},        {300, kAug1 + 10, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            HistoryProgressPercent(c.totalDays, request, HostDate{c.day + 1.0 / 86400, kDateValid}),
            c.percent)
            << c.totalDays << " " << c.day;
    }
}

TEST_F(HistoryParserTest, TodayInHistory) {
    struct Case {
        const char* name;
        std::vector<std::wstring> chunks;
        int32_t mark;
    } cases[] = {
        {"bar of today, end in the same chunk", {L"2011-08-11,1,1,1,1,1,1\r\n!ENDMSG!\r\n"}, 1},
        {"bar of yesterday", {L"2011-08-10,1,1,1,1,1,1\r\n!ENDMSG!\r\n"}, 0},
        {"end line in a later chunk", {L"2011-08-11,1,1,1,1,1,1\r\n", L"!ENDMSG!\r\n"}, 1},
        {"no bars at all", {L"!ENDMSG!\r\n"}, 0},
        {"error line leaves the mark", {L"2011-08-11,1,1,1,1,1,1\r\n", L"E,!ERROR!,\r\n"}, 7},
    };
    for (const Case& c : cases) {
        test::WatchedSymbols()[L"ABC"].m_bTodayInHistory = 7;
        test::CHostFeedScope local;
        platform::CEvent localEvent(false, false);
        CHistoryThread t(&localEvent);
        Start(L"HDX", 1440.0f, t);
        for (const std::wstring& chunk : c.chunks) {
            ProcessHistoryText(t.m_data, chunk);
        }
        EXPECT_EQ(test::WatchedSymbols()[L"ABC"].m_bTodayInHistory, c.mark) << c.name;
    }
}

TEST_F(HistoryParserTest, TodayInHistoryOnlyForDayBarsAndWatchedSymbols) {
    test::WatchedSymbols()[L"XYZ"].m_bTodayInHistory = 7;
    Start(L"HDX", 1440.0f);
    Feed(L"2011-08-11,1,1,1,1,1,1\r\n!ENDMSG!\r\n");
    EXPECT_EQ(test::WatchedSymbols()[L"XYZ"].m_bTodayInHistory, 7);
    EXPECT_EQ(test::WatchedSymbols().count(L"ABC"), 0u);

    test::WatchedSymbols()[L"ABC"].m_bTodayInHistory = 7;
    platform::CEvent localEvent(false, false);
    CHistoryThread t(&localEvent);
    Start(L"HIT", 5.0f, t);
    ProcessHistoryText(t.m_data, L"2011-08-11 09:30:00,1,1,1,1,1,1\r\n!ENDMSG!\r\n");
    EXPECT_EQ(test::WatchedSymbols()[L"ABC"].m_bTodayInHistory, 7);
}

TEST_F(HistoryParserTest, MalformedLinesAreSkippedAndTheFirstIsLogged) {
    Start(L"HTT", 0.0f);
    const std::wstring good = L"2011-08-01 09:30:00,12.5,100,5000,12.4,12.6,1,300,200,C\r\n";
    const std::wstring bad[] = {
        L"2011-08\r\n",                                                  // date too short
        L"2011-08-01 09:30:00,12.5,100\r\n",                             // too few fields
        L"2011-02-30 09:30:00,12.5,100,5000,12.4,12.6,1,300,200,C\r\n",  // no such day
        L"ABC\r\n",                                                      // one field only
        L"\r\n",                                                         // empty line
        // Dates whose parts are not exactly their digits.
        L"20110-08-01 09:30:00,12.5,100,5000,12.4,12.6,1,300,200,C\r\n",
        L"2011-08-01 09:30,12.5,100,5000,12.4,12.6,1,300,200,C\r\n",
        // Values that reach the host but are no finite numbers.
        L"2011-08-01 09:30:00,1e400,100,5000,12.4,12.6,1,300,200,C\r\n",
        L"2011-08-01 09:30:00,nan,100,5000,12.4,12.6,1,300,200,C\r\n",
        L"2011-08-01 09:30:00,12.5,inf,5000,12.4,12.6,1,300,200,C\r\n",
        L"2011-08-01 09:30:00,12.5,100,5000,12.4x,12.6,1,300,200,C\r\n",
        L"2011-08-01 09:30:00,12.5,100,5000,12.4,12.6,1,300,-,C\r\n",
        // A zero byte, and a line longer than the bound.
        L"2011-08-01 09:30:00,12.5,100,5000,12.4,12.6,1,300,200,C" + std::wstring(1, L'\0') +
            L"\r\n",
        L"2011-08-01 09:30:00,12.5," + std::wstring(kMaxFeedLineChars, L'1') +
            L",1,1,1,1,1,1,C\r\n",
    };
    std::wstring reply;
    for (const std::wstring& line : bad) {
        reply += line;
    }
    Feed(reply + good + L"!ENDMSG!\r\n");
    EXPECT_EQ(RowsSent().size(), 3u);
    int skipped = 0;
    for (const std::wstring& line : test::LogLines()) {
        skipped += line.rfind(L"Skipping a history line", 0) == 0;
    }
    EXPECT_EQ(skipped, 1);
    EXPECT_TRUE(test::LogContains(L"Skipping a history line that could not be read: 2011-08"));
    EXPECT_TRUE(test::LogContains(L"Skipped " + std::to_wstring(std::size(bad)) +
                                  L" history lines that could not be read"));
}

TEST_F(HistoryParserTest, ZeroBytesAndOverLongLinesLeaveTheLinesAroundThem) {
    const std::wstring one = L"2011-08-01,1,1,1,1,1,1\r\n";
    const std::wstring two = L"2011-08-02,2,2,2,2,2,2\r\n";
    const std::wstring zero(1, L'\0');
    const std::wstring longLine(kMaxFeedLineChars + 1, L'9');
    struct Case {
        const char* name;
        std::vector<std::wstring> chunks;
    } cases[] = {
        {"zero inside a line", {one + L"2011-08-0" + zero + L"5,1,1,1,1,1,1\r\n" + two}},
        {"zero at a line's start, in its own chunk", {one, zero, L"x\r\n" + two}},
        {"zero in the pending text", {one + L"20" + zero, L"11\r\n" + two}},
        {"over-long line in one chunk", {one + longLine + L"\r\n" + two}},
        {"over-long line growing over chunks",
         {one + longLine.substr(0, 30000), longLine.substr(30000), longLine, L"\r\n" + two}},
        {"over-long unfinished text", {one + longLine, longLine, L"\n", two}},
    };
    for (const Case& c : cases) {
        test::CHostFeedScope local;
        test::ClearLog();
        platform::CEvent localEvent(false, false);
        CHistoryThread t(&localEvent);
        Start(L"HDX", 1440.0f, t);
        for (const std::wstring& chunk : c.chunks) {
            ProcessHistoryText(t.m_data, chunk);
            EXPECT_LE(t.m_data.m_strPending.size(), kMaxFeedLineChars) << c.name;
        }
        EXPECT_EQ(local.host.Rows(), (Rows{{kAug1, 1, 1, 1, 1, 1}, {kAug1 + 1, 2, 2, 2, 2, 2}}))
            << c.name;
        EXPECT_EQ(t.m_data.m_nMalformedLines, 1) << c.name;
    }
}

// The same reply bytes cut at arbitrary chunk boundaries give the same host
// calls and leave the same state.
TEST(HistoryParserProperty, ChunkBoundariesDoNotMatter) {
    std::wstring reply;
    for (int i = 0; i < 40; ++i) {
        const int day = 1 + i / 4;
        const std::wstring date = L"2011-08-" + std::wstring(day < 10 ? L"0" : L"") +
                                  std::to_wstring(day) + L" 09:3" + std::to_wstring(i % 10) +
                                  L":00";
        reply += date + L"," + std::to_wstring(10 + i % 3) + L".25," + std::to_wstring(i) +
                 L",5000," + std::to_wstring(10 + i % 2) + L".5,11.5,1," +
                 std::to_wstring(100 + i % 4) + L",200," + (i % 7 == 0 ? L"E" : L"C") + L"\r\n";
        if (i % 13 == 0) {
            reply += L"2011-0\r\n";
        }
        if (i == 17) {
            reply += L"2011-08-05 09:31:00,1" + std::wstring(1, L'\0') + L",2,3,4,5,6,7,8,C\r\n";
            reply += std::wstring(kMaxFeedLineChars + 5, L'7') + L"\r\n";
        }
    }
    reply += L"!ENDMSG!\r\n";

    auto run = [&](const std::vector<size_t>& cuts, std::vector<std::string>* calls,
                   std::vector<std::wstring>* log) {
        test::CHostFeedScope scope;
        test::ClearLog();
        platform::CEvent event(false, false);
        CHistoryThread t(&event);
        t.m_data.m_pThread = &t;
        t.m_data.m_strRequestType = L"HTT";
        t.m_data.m_strSymbol = L"ABC";
        t.m_data.m_dtRequestTime = HostDate{kAug1 + 12.5, kDateValid};
        t.m_data.m_nTotalDays = 13;
        size_t from = 0;
        for (const size_t cut : cuts) {
            ProcessHistoryText(t.m_data, std::wstring_view(reply).substr(from, cut - from));
            from = cut;
        }
        ProcessHistoryText(t.m_data, std::wstring_view(reply).substr(from));
        *calls = scope.host.Texts();
        log->clear();
        for (const std::wstring& line : test::LogLines()) {
            if (line != L"Processing History Data") {
                log->push_back(line);
            }
        }
        EXPECT_EQ(t.m_bDone, 1);
    };

    std::vector<std::string> wholeCalls;
    std::vector<std::wstring> wholeLog;
    run({}, &wholeCalls, &wholeLog);
    ASSERT_GT(wholeCalls.size(), 60u);
    ASSERT_EQ(wholeCalls.back(), "P 100");

    std::mt19937 random(20110801);
    for (int round = 0; round < 200; ++round) {
        std::vector<size_t> cuts;
        std::uniform_int_distribution<size_t> position(0, reply.size());
        const int count = 1 + round % 40;
        for (int i = 0; i < count; ++i) {
            cuts.push_back(position(random));
        }
        std::sort(cuts.begin(), cuts.end());
        std::vector<std::string> calls;
        std::vector<std::wstring> log;
        run(cuts, &calls, &log);
        ASSERT_EQ(calls, wholeCalls) << "round " << round;
        ASSERT_EQ(log, wholeLog) << "round " << round;
    }
}

}  // namespace
}  // namespace orvella
