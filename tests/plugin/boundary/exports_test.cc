// The exports with a recording host library and scripted parts: layouts,
// credentials, the liveness timer and every failure box.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>

#include "platform/message_box.h"
#include "platform/timer_queue.h"
#include "plugin/boundary/exports/OrvellaForNST.h"
#include "plugin/boundary/exports/liveness_timer.h"
#include "plugin/boundary/global_state.h"
#include "testing/log_lines.h"
#include "tests/plugin/boundary/boundary_test_support.h"

namespace orvella {
namespace {

using test::Box;

struct FakeTimers {
    int queues = 0;
    int timers = 0;
    int deletes = 0;
    bool failQueue = false;
    bool failTimer = false;
    bool throwOnQueue = false;
} g_timers;

int g_queueToken, g_timerToken;

platform::TimerQueue* FakeCreateQueue() {
    ++g_timers.queues;
    if (g_timers.throwOnQueue) {
        throw std::runtime_error("no queue");
    }
    if (g_timers.failQueue) {
        platform::SetLastPlatformError(8);
        return nullptr;
    }
    return reinterpret_cast<platform::TimerQueue*>(&g_queueToken);
}

platform::Timer* FakeCreateTimer(platform::TimerQueue*, platform::TimerCallback, void* context,
                                 uint32_t due, uint32_t period) {
    ++g_timers.timers;
    EXPECT_EQ(due, 10000u);
    EXPECT_EQ(period, 10000u);
    EXPECT_EQ(*static_cast<int32_t*>(context), 123);
    if (g_timers.failTimer) {
        platform::SetLastPlatformError(1450);
        return nullptr;
    }
    return reinterpret_cast<platform::Timer*>(&g_timerToken);
}

bool FakeDeleteQueue(platform::TimerQueue*) {
    ++g_timers.deletes;
    return true;
}

class ExportsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::StartFreshPlugin(&m_host, &m_parts);
        m_savedOps = TimerQueueOps();
        TimerQueueOps() = CTimerQueueOps{&FakeCreateQueue, &FakeCreateTimer, &FakeDeleteQueue};
        g_timers = FakeTimers{};
        test::LogInto(m_logDir.path());
        // Credentials known, so that the host calls recorded are the series'.
        Globals().credentialsKnown = -1;
    }

    void TearDown() override {
        test::ResetPluginState();
        TimerQueueOps() = m_savedOps;
    }

    int Request(const char* symbol, float interval, const char* names = "Date,Close") {
        std::string buffer(names);
        return RequestTicker(symbol, "Desc", "Cat", 40000.0, interval, buffer.data());
    }

    std::string Log() { return test::ReadLogs(m_logDir.path()); }

    void ExpectOneErrorBox(const std::wstring& text) {
        ASSERT_EQ(m_boxes.boxes.size(), 1u);
        EXPECT_EQ(m_boxes.boxes[0].text, text);
        EXPECT_EQ(m_boxes.boxes[0].caption, L"OrvellaForNST");
        EXPECT_EQ(m_boxes.boxes[0].flags, platform::kMbIconError | platform::kMbSystemModal);
        EXPECT_NE(Log().find(std::string(text.begin(), text.end()) + "\r\n"), std::string::npos);
    }

    testing::CRecordingHostFeed m_host;
    test::CFakeParts m_parts;
    test::CBoxRecorder m_boxes;
    test::CTempDir m_logDir;
    CTimerQueueOps m_savedOps{};
};

TEST_F(ExportsTest, HistoryOnlyRequestAnnouncesTheHostsColumnsThenLoads) {
    std::string names = "Date,Open,High,Low,Close,Volume";
    EXPECT_EQ(RequestTicker("ABC", "Abc Corp", "Stocks", 40000.25, 5.0f, names.data()), 1);

    ASSERT_EQ(m_host.Count("NSTSETUPDATA"), 1);
    EXPECT_EQ(m_host.Count("NSTSETLABEL"), 6);
    EXPECT_EQ(m_host.calls.back().text, "Volume");
    EXPECT_EQ(m_host.calls.back().interval, 5.0f);
    ASSERT_EQ(m_parts.loads.size(), 1u);
    const CHistoryRequestArgs& load = m_parts.loads[0];
    EXPECT_EQ(load.symbol, L"ABC");
    EXPECT_EQ(load.description, L"Abc Corp");
    EXPECT_EQ(load.category, L"Stocks");
    EXPECT_EQ(load.startDate, 40000.25);
    EXPECT_EQ(load.interval, 5.0f);
    EXPECT_EQ(load.columnNames, L"Date,Open,High,Low,Close,Volume");  // before the split
    EXPECT_EQ(m_parts.historyFlagDuringLoad, 0);
    EXPECT_TRUE(m_parts.watched.empty());
    EXPECT_EQ(m_parts.probes, 1);
    EXPECT_EQ(g_timers.queues, 0);

    const std::string log = Log();
    for (const char* line :
         {",Beginning Request Symbol\r\n",
          ",symbol ABC; description Abc Corp; category Stocks; startdate 40000.250000; "
          "BarInterval 5.000000; columnNames Date,Open,High,Low,Close,Volume\r\n",
          ",Using history streaming style\r\n", ",Ending Request Symbol\r\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
}

TEST_F(ExportsTest, TickRequestUsesNegatedZeroAndTickLabelsEitherWay) {
    for (int streaming : {0, 1}) {
        m_host.calls.clear();
        Globals().streamingEnabled = streaming;
        EXPECT_EQ(Request("ABC", 0.0f), 1);
        ASSERT_EQ(m_host.calls.size(), 5u);
        EXPECT_EQ(m_host.calls[0].column, 4);
        EXPECT_EQ(m_host.calls[4].text, "TickType");
        for (const testing::CHostCall& call : m_host.calls) {
            EXPECT_TRUE(std::signbit(call.interval) && call.interval == 0.0f);
        }
    }
    EXPECT_NE(Log().find(",Using second tick streaming label style\r\n"), std::string::npos);
}

TEST_F(ExportsTest, AsksTheHostForCredentialsOnlyWhileNoneAreKnown) {
    Globals().credentialsKnown = 0;
    EXPECT_EQ(Request("ABC", 5.0f), 1);
    EXPECT_EQ(m_host.Count("GetUserIDPassword"), 1);
    Globals().credentialsKnown = -1;
    EXPECT_EQ(Request("ABC", 5.0f), 1);
    EXPECT_EQ(m_host.Count("GetUserIDPassword"), 1);
}

TEST_F(ExportsTest, StreamingRequestCreatesTheTimerOnceAndWatchesDuringTheLoad) {
    Globals().streamingEnabled = 1;
    EXPECT_EQ(Request("ABC", 5.0f), 1);
    EXPECT_EQ(Request("XYZ", 1.0f), 1);

    EXPECT_EQ(g_timers.queues, 1);
    EXPECT_EQ(g_timers.timers, 1);
    EXPECT_EQ(m_parts.watched, (std::vector<std::wstring>{L"ABC", L"XYZ"}));
    EXPECT_EQ(m_parts.historyFlagDuringLoad, 1);
    EXPECT_EQ(Globals().historyInProgress.load(), 0);
    EXPECT_EQ(m_host.calls[0].interval, -5.0f);
    EXPECT_EQ(m_host.calls[1].text, "Date/Time");

    const std::string log = Log();
    ASSERT_EQ(
        testing::LinesOutOfOrder(log,
                                 {",Before Creating a Timer Queue\r\n", ",Before Create Queue\r\n",
                                  ",After Create Queue\r\n", ",Before Create Timer\r\n",
                                  ",After Create Timer\r\n", ",After Creating a Timer Queue\r\n"},
                                 true),
        "");
    EXPECT_NE(log.find(",Using streaming label style\r\n"), std::string::npos);
}

TEST_F(ExportsTest, TimerFailuresRefuseTheRequest) {
    struct Case {
        bool failQueue, failTimer, throwOnQueue;
        std::wstring text;
        bool queueStays;
    };
    const Case cases[] = {
        {true, false, false, L"The Create for the Queue failed (8)", false},
        {false, true, false, L"The create for the Timer failed (1450)", true},
        {false, false, true, L"Caught unknown exection during timer queue creation", false},
    };
    for (const Case& c : cases) {
        test::ResetPluginState();
        test::LogInto(m_logDir.path());
        g_timers = FakeTimers{};
        m_boxes.boxes.clear();
        m_host.calls.clear();
        m_parts.watched.clear();
        Globals().streamingEnabled = 1;
        g_timers.failQueue = c.failQueue;
        g_timers.failTimer = c.failTimer;
        g_timers.throwOnQueue = c.throwOnQueue;

        EXPECT_EQ(Request("ABC", 5.0f), 0);
        ExpectOneErrorBox(c.text);
        EXPECT_EQ(m_host.Count("NSTSETUPDATA"), 0);
        EXPECT_TRUE(m_parts.watched.empty());
        EXPECT_EQ(Globals().timerQueue != nullptr, c.queueStays);

        // A queue left by a failed timer is not created again; the request
        // then goes on without a liveness timer.
        if (c.queueStays) {
            g_timers.failTimer = false;
            EXPECT_EQ(Request("ABC", 5.0f), 1);
            EXPECT_EQ(g_timers.queues, 1);
            EXPECT_EQ(g_timers.timers, 1);
        }
    }
}

TEST_F(ExportsTest, FailedWatchRefusesTheRequestAndClearsTheHistoryFlag) {
    Globals().streamingEnabled = 1;
    m_parts.watchResult = false;
    EXPECT_EQ(Request("ABC", 5.0f), 0);
    ExpectOneErrorBox(L"The symbol watch for level one streaming data failed");
    EXPECT_EQ(m_host.Count("NSTSETUPDATA"), 0);
    EXPECT_TRUE(m_parts.loads.empty());
    EXPECT_EQ(Globals().historyInProgress.load(), 0);
}

TEST_F(ExportsTest, RemoveTickerAlwaysReturnsOne) {
    EXPECT_EQ(RemoveTicker("ABC", 5.0f), 1);
    EXPECT_TRUE(m_parts.unwatched.empty());
    EXPECT_TRUE(m_host.calls.empty());
    const std::string log = Log();
    EXPECT_NE(log.find(",Beginning Remove Symbol\r\n"), std::string::npos);
    EXPECT_NE(log.find(",symbol = ABC; BarInterval = 5.000000\r\n"), std::string::npos);
    EXPECT_NE(log.find(",Ending Remove Symbol\r\n"), std::string::npos);

    Globals().streamingEnabled = 1;
    EXPECT_EQ(RemoveTicker("ABC", 5.0f), 1);
    EXPECT_EQ(m_parts.unwatched, std::vector<std::wstring>{L"ABC"});
}

// Only an interval that names a request is watched, and a remove unwatches
// exactly what the request watched: a NaN interval used to be watched for
// good, since no remove could ever match it.
TEST_F(ExportsTest, OnlyIntervalsThatNameARequestAreWatchedAndUnwatched) {
    const float nan = std::nanf("");
    const float inf = INFINITY;
    struct Case {
        float interval;
        bool watched;
    } cases[] = {
        {0.0f, true},     {-0.0f, true},    {0.5f, true},     {5.0f, true},      {1439.99f, true},
        {1440.0f, true},  {10080.0f, true}, {43200.0f, true}, {302400.0f, true}, {nan, false},
        {-5.0f, false},   {1e30f, false},   {inf, false},     {-inf, false},     {1440.5f, false},
        {2000.0f, false}, {2880.0f, false},
    };
    Globals().streamingEnabled = 1;
    for (const Case& c : cases) {
        m_parts.watched.clear();
        m_parts.unwatched.clear();
        m_parts.loads.clear();
        EXPECT_EQ(Request("ABC", c.interval), 1) << c.interval;
        EXPECT_EQ(m_parts.loads.size(), 1u) << c.interval;
        EXPECT_EQ(m_parts.watched.size(), c.watched ? 1u : 0u) << c.interval;
        EXPECT_EQ(RemoveTicker("ABC", c.interval), 1) << c.interval;
        EXPECT_EQ(m_parts.unwatched.size(), c.watched ? 1u : 0u) << c.interval;
        EXPECT_EQ(Globals().historyInProgress.load(), 0);
    }
}

// A start that is no number gives no request line: the request fails before
// anything is announced, watched or loaded.
TEST_F(ExportsTest, StartDateThatIsNoNumberRefusesTheRequest) {
    Globals().streamingEnabled = 1;
    for (const double start : {std::nan(""), double{INFINITY}, -double{INFINITY}}) {
        std::string names = "Date,Close";
        EXPECT_EQ(RequestTicker("ABC", "Desc", "Cat", start, 5.0f, names.data()), 0) << start;
        EXPECT_TRUE(m_host.calls.empty()) << start;
        EXPECT_TRUE(m_parts.watched.empty()) << start;
        EXPECT_TRUE(m_parts.loads.empty()) << start;
        EXPECT_TRUE(m_boxes.boxes.empty()) << start;
    }
    const std::string log = Log();
    EXPECT_NE(log.find(",The start date nan is not a date; the request is refused\r\n"),
              std::string::npos);
    EXPECT_NE(log.find(",The start date -inf is not a date; the request is refused\r\n"),
              std::string::npos);
}

TEST_F(ExportsTest, SymbolsThatWouldBreakTheRequestLineAreRefused) {
    for (const int streaming : {0, 1}) {
        for (const char* symbol : {"ABC\r\nHDX,EVIL", "ABC\n", "A,B", "A\tB", "A\x7F"}) {
            m_boxes.boxes.clear();
            m_host.calls.clear();
            Globals().streamingEnabled = streaming;
            EXPECT_EQ(Request(symbol, 5.0f), 0) << symbol;
            ExpectOneErrorBox(
                L"The symbol holds a control character or a comma and cannot be requested. "
                L"Please check the chart's symbol!");
            EXPECT_TRUE(m_host.calls.empty()) << symbol;
        }
    }
    EXPECT_TRUE(m_parts.loads.empty());
    EXPECT_TRUE(m_parts.watched.empty());
    EXPECT_EQ(Globals().historyInProgress.load(), 0);
}

// Parts whose every call fails with an exception.
class CThrowingParts : public test::CFakeParts {
  public:
    void LoadHistory(const CHistoryRequestArgs&) override { throw std::bad_alloc(); }
    bool UnwatchSymbol(const std::wstring&, float) override {
        throw std::invalid_argument("unwatch");
    }
};

TEST_F(ExportsTest, NoExceptionLeavesAnExport) {
    CThrowingParts parts;
    SetPluginParts(&parts);
    Globals().streamingEnabled = 1;
    EXPECT_EQ(Request("ABC", 5.0f), 0);
    EXPECT_EQ(Globals().historyInProgress.load(), 0);
    EXPECT_EQ(RemoveTicker("ABC", 5.0f), 1);
    SetPluginParts(&m_parts);
    const std::string log = Log();
    EXPECT_NE(log.find(",Caught an unexpected failure in RequestTicker\r\n"), std::string::npos);
    EXPECT_NE(log.find(",Caught an unexpected failure in RemoveTicker\r\n"), std::string::npos);
}

TEST_F(ExportsTest, HostTextsKeepEveryByte) {
    std::string names = "Pr\xe9is,Vol";
    EXPECT_EQ(RequestTicker("\xc4"
                            "BC",
                            "Caf\xe9", "Cat", 1.0, 5.0f, names.data()),
              1);
    ASSERT_EQ(m_parts.loads.size(), 1u);
    EXPECT_EQ(m_parts.loads[0].symbol, L"\u00c4BC");
    EXPECT_EQ(m_parts.loads[0].description, L"Caf\u00e9");
    EXPECT_EQ(m_host.calls[0].symbol,
              "\xc4"
              "BC");
    EXPECT_EQ(m_host.calls[1].text, "Pr\xe9is");
    EXPECT_NE(Log().find(",symbol \xc4"
                         "BC; description Caf\xe9;"),
              std::string::npos);
}

TEST_F(ExportsTest, MissingCredentialRefusesWithoutLaunchingOrReadingSettings) {
    const test::CTempDir launcherDir;
    const std::string savedPath = getenv("PATH");
    setenv("PATH", launcherDir.path().c_str(), 1);
    test::WriteSettingDword(L"Streaming", 0);
    struct Case {
        const char* user;
        const char* password;
    };
    const Case cases[] = {{"trader", ""}, {"", "secret"}, {nullptr, "secret"}, {"", ""}};
    for (const Case& c : cases) {
        m_boxes.boxes.clear();
        Globals().streamingEnabled = 1;
        Globals().credentialsKnown = -1;
        EXPECT_EQ(UserIDPasswordChanged(c.user, c.password), 0);
        ExpectOneErrorBox(
            L"ERROR! We do not have the required UserID and Password to start Orvella.");
        EXPECT_EQ(Globals().credentialsKnown, 0);
        EXPECT_EQ(Globals().streamingEnabled, 1);
    }
    setenv("PATH", savedPath.c_str(), 1);
    EXPECT_EQ(Log().find("secret"), std::string::npos);
}

TEST_F(ExportsTest, LauncherThatCannotStartRefusesTheCredentials) {
    const test::CTempDir emptyDir;
    const std::string savedPath = getenv("PATH");
    setenv("PATH", emptyDir.path().c_str(), 1);
    Globals().streamingEnabled = 0;
    test::WriteSettingDword(L"Streaming", 1);

    EXPECT_EQ(UserIDPasswordChanged("trader", "pass word"), 0);
    setenv("PATH", savedPath.c_str(), 1);

    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    const std::wstring& text = m_boxes.boxes[0].text;
    EXPECT_EQ(text.rfind(L"ERROR! Unable to launch Orvalink.exe.  Error Code: ", 0), 0u);
    EXPECT_NE(text.find(L" hInst: 2\n"), std::wstring::npos)
        << std::string(text.begin(), text.end());
    EXPECT_EQ(m_boxes.boxes[0].flags, platform::kMbIconError | platform::kMbSystemModal);
    EXPECT_EQ(Globals().credentialsKnown, 0);
    EXPECT_EQ(Globals().streamingEnabled, 0);

    const std::string log = Log();
    EXPECT_NE(log.find(",UserID = trader; Password = ********\r\n"), std::string::npos);
    EXPECT_NE(log.find(",Before launch and login of Orvella\r\n"), std::string::npos);
    // The launch error's own line feed becomes the line's CR LF.
    EXPECT_NE(log.find(" hInst: 2\r\n"), std::string::npos);
    EXPECT_EQ(log.find("pass word"), std::string::npos);
}

}  // namespace
}  // namespace orvella
