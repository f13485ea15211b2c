// The level-one connection over loopback against a helper server standing in
// for the feed client: watch and unwatch commands, received lines, the close
// of the connection, and the liveness probe from another thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/async_socket.h"
#include "platform/message_queue.h"
#include "plugin/boundary/data_cache.h"
#include "plugin/boundary/global_state.h"
#include "plugin/levelone/level_one.h"
#include "plugin/levelone/level_one_data.h"
#include "testing/host_recorder.h"
#include "testing/loopback.h"
#include "tests/plugin/levelone/data_cache_test_helper.h"
#include "tests/plugin/levelone/level_one_test_helper.h"
#include "tests/plugin/levelone/test_log.h"

namespace orvella {
namespace {

using testing::CLoopbackServer;
using testing::CRecordingHostFeed;

const std::string kCustomerInfo = "S,CUST,real_time,127.0.0.1,5009\r\n";
const std::string kTrade =
    "Q,ABC,,10.5,,,,100,,,10.4,10.6,5,7,,,,09:30:00t,,,,,,,,,,,,,08/01/2011,,10.5\r\n";

// Dispatches the thread's messages until done() holds or timeoutMs passed.
template <typename Done>
bool PumpUntil(Done done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        platform::Message msg;
        if (platform::WaitMessage(&msg, 10) == platform::WaitResult::kMessage) {
            platform::DispatchMessage(msg);
        }
    }
    return true;
}

bool Logged(const std::wstring& text) {
    for (const std::wstring& line : CapturedLogLines()) {
        if (line == text) {
            return true;
        }
    }
    return false;
}

class LevelOneSocket : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(platform::InitSockets());
        SetHostFeed(&m_feed);
        Globals().historyInProgress = 0;
        Globals().extendedTradesEnabled = 0;
        Globals().tradeFilterOn = 0;
        CLevelOneTestHelper::UsePort(m_data, m_server.port());
        CLevelOneTestHelper::ShortenWaits(m_data, 200, 10);
        StartLogCapture();
    }
    void TearDown() override {
        if (m_script.joinable()) {
            m_script.join();
        }
        SetHostFeed(nullptr);
    }
    // The server greets the plug-in with its customer-information line as
    // soon as the connection is accepted.
    void GreetOnAccept() {
        m_script = std::thread([this] {
            m_server.WaitAccepted(5000);
            m_server.Send(kCustomerInfo);
        });
    }

    CRecordingHostFeed m_feed;
    CLoopbackServer m_server;
    CLevelOneData m_data;
    std::thread m_script;
};

TEST_F(LevelOneSocket, WatchCommandFollowsTheCustomerInformationLine) {
    std::string beforeGreeting = "unset";
    m_script = std::thread([&] {
        m_server.WaitAccepted(5000);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        beforeGreeting = m_server.Received();
        m_server.Send(kCustomerInfo);
    });
    EXPECT_TRUE(m_data.WatchSymbol(L"ABC", 5.0f));
    m_script.join();
    EXPECT_EQ(beforeGreeting, "");
    EXPECT_TRUE(m_server.WaitReceived("wABC\r\n", 5000));
    EXPECT_TRUE(Logged(L"OnConnect called"));
    EXPECT_TRUE(Logged(L"Level One sucessful SendRequest"));
}

TEST_F(LevelOneSocket, UnwatchCommandOnlyWhenTheLastIntervalGoes) {
    GreetOnAccept();
    EXPECT_TRUE(m_data.WatchSymbol(L"ABC", 5.0f));
    EXPECT_TRUE(m_data.WatchSymbol(L"ABC", 5.0f));
    EXPECT_TRUE(m_data.WatchSymbol(L"ABC", 1440.0f));
    EXPECT_TRUE(m_data.UnwatchSymbol(L"ABC", 5.0f));
    EXPECT_FALSE(m_data.UnwatchSymbol(L"XYZ", 5.0f));
    EXPECT_TRUE(m_data.UnwatchSymbol(L"ABC", 1440.0f));
    EXPECT_EQ(m_data.FindSymbol(L"ABC"), nullptr);
    ASSERT_TRUE(m_server.WaitReceived("rABC\r\n", 5000));
    EXPECT_EQ(m_server.Received(), "wABC\r\nwABC\r\nwABC\r\nrABC\r\n");
}

TEST_F(LevelOneSocket, TradesSplitOverReadsBecomeRows) {
    GreetOnAccept();
    ASSERT_TRUE(m_data.WatchSymbol(L"ABC", 0.0f));
    m_server.Send(kTrade.substr(0, 20));
    ASSERT_TRUE(PumpUntil([&] { return CLevelOneTestHelper::Pending(m_data).size() == 20; }, 5000));
    m_server.Send(kTrade.substr(20));
    EXPECT_TRUE(PumpUntil([&] { return m_feed.rows.size() == 3; }, 5000));
    EXPECT_EQ(m_feed.rows.back().values, (std::vector<double>{40756.395833333336, 10.5, 100, 0}));
}

TEST_F(LevelOneSocket, WatchGivesUpWithoutCustomerInformation) {
    CLevelOneTestHelper::ShortenWaits(m_data, 4, 10);
    EXPECT_FALSE(m_data.WatchSymbol(L"ABC", 5.0f));
    EXPECT_TRUE(Logged(L"No watch command sent since Level One socket was not ready!"));
    EXPECT_NE(m_data.FindSymbol(L"ABC"), nullptr);
    EXPECT_EQ(m_server.Received(), "");
}

// A refused connect leaves the connection down, so the watch's wait starts
// another one each time round; the failure is logged once, not per attempt.
TEST_F(LevelOneSocket, RefusedConnectIsRetriedAndLoggedOnce) {
    uint16_t deadPort;
    {
        CLoopbackServer closed;
        deadPort = closed.port();
    }
    CLevelOneTestHelper::UsePort(m_data, deadPort);
    CLevelOneTestHelper::ShortenWaits(m_data, 20, 10);
    EXPECT_FALSE(m_data.WatchSymbol(L"ABC", 5.0f));
    const std::vector<std::wstring> lines = CapturedLogLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"OnConnect called"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"The attempt to connect was rejected."), 1);
    EXPECT_TRUE(Logged(L"No watch command sent since Level One socket was not ready!"));
    EXPECT_FALSE(CLevelOneTestHelper::LevelOneUp(m_data));
    EXPECT_GT(CLevelOneTestHelper::ConnectAttempts(m_data), 2);
}

TEST_F(LevelOneSocket, PeerCloseDeliversWhatCameWithItThenWatchesFail) {
    GreetOnAccept();
    ASSERT_TRUE(m_data.WatchSymbol(L"ABC", 5.0f));
    EXPECT_FALSE(m_data.ProbeLevelOne());
    m_server.Send(kTrade);
    m_server.CloseConnection();
    ASSERT_TRUE(PumpUntil([&] { return CLevelOneTestHelper::Closed(m_data); }, 5000));
    EXPECT_EQ(m_feed.rows.size(), 1u);
    EXPECT_FALSE(CLevelOneTestHelper::Connected(m_data));
    EXPECT_TRUE(m_data.ProbeLevelOne());

    // No reconnection: the next watch is sent on the closed socket and fails.
    StartLogCapture();
    EXPECT_FALSE(m_data.WatchSymbol(L"XYZ", 5.0f));
    const std::vector<std::wstring> lines = CapturedLogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], L"Watching symbol XYZ; interval 5.000000");
    EXPECT_EQ(lines[1], L"The descriptor is not a socket.");
}

TEST_F(LevelOneSocket, AZeroByteSpoilsOnlyItsOwnLine) {
    GreetOnAccept();
    ASSERT_TRUE(m_data.WatchSymbol(L"ABC", 5.0f));
    StartLogCapture();
    m_server.Send(std::string("E,a\nE,b\0E,c\nE,d\n", 16));
    ASSERT_TRUE(PumpUntil([&] { return CapturedLogLines().size() == 3; }, 5000));
    const std::vector<std::wstring> want = {L"Level1 error message a",
                                            L"Level1 line that could not be read dropped: E,b",
                                            L"Level1 error message d"};
    EXPECT_EQ(CapturedLogLines(), want);
    EXPECT_EQ(m_data.MalformedLineCount(), 1);
}

std::string NumberedTrades(int first, int count) {
    std::string text;
    for (int n = first; n < first + count; ++n) {
        text += "Q,ABC,,10.5,,,," + std::to_string(n) +
                ",,,10.4,10.6,5,7,,,,09:30:00t,,,,,,,,,,,,,08/01/2011,,10.5\r\n";
    }
    return text;
}

// Lines held during a history load stop the reading once their bound is
// reached; the rest waits unread until the load ends, and then everything
// reaches the host once, in the order it was sent.
TEST_F(LevelOneSocket, HeldLinesBoundStopsReadingUntilTheLoadEnds) {
    GreetOnAccept();
    ASSERT_TRUE(m_data.WatchSymbol(L"ABC", 5.0f));
    const std::size_t savedBound = CDataCacheTestHelper::SetBound(DataCache(), 4096);
    Globals().historyInProgress = 1;
    m_server.Send(NumberedTrades(1, 40));
    ASSERT_TRUE(PumpUntil([&] { return DataCache().Full(); }, 5000));
    PumpUntil([] { return false; }, 200);
    const int held = DataCache().Count();
    // Sent while reads are held: nothing of it is taken.
    m_server.Send(NumberedTrades(41, 60));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(DataCache().Count(), held);
    EXPECT_LE(held, 40);
    EXPECT_TRUE(m_feed.rows.empty());

    Globals().historyInProgress = 0;
    m_data.ResumeReading();
    EXPECT_TRUE(PumpUntil([&] { return m_feed.rows.size() == 100; }, 5000));
    EXPECT_EQ(DataCache().Count(), 0);
    for (std::size_t i = 0; i < m_feed.rows.size(); ++i) {
        EXPECT_EQ(m_feed.rows[i].values[2], static_cast<double>(i + 1));
    }
    const std::vector<std::wstring> lines = CapturedLogLines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::wstring& line) {
                                return line.rfind(L"Level One reading paused with ", 0) == 0;
                            }),
              1);
    EXPECT_TRUE(Logged(L"Level One reading resumed"));
    CDataCacheTestHelper::SetBound(DataCache(), savedBound);
}

// The liveness timer's thread probes the process-wide connection while the
// host thread streams, the peer closes and the object is destroyed.
TEST(LevelOneLiveness, ProbesFromAnotherThreadAreSafeThroughCloseAndTeardown) {
    ASSERT_TRUE(platform::InitSockets());
    CRecordingHostFeed feed;
    SetHostFeed(&feed);
    CLoopbackServer server;
    CLevelOneData& data = LevelOne();
    CLevelOneTestHelper::UsePort(data, server.port());
    CLevelOneTestHelper::ShortenWaits(data, 200, 10);

    std::atomic<bool> stop{false};
    int32_t context = 123;
    std::thread timer([&] {
        while (!stop.load()) {
            LivenessTimerProc(&context, true);
            ProbeLevelOne();
        }
    });
    std::thread greeter([&] {
        server.WaitAccepted(5000);
        server.Send(kCustomerInfo);
    });
    EXPECT_TRUE(WatchSymbol(L"ABC", 5.0f));
    greeter.join();
    for (int i = 0; i < 50; ++i) {
        server.Send(kTrade);
    }
    EXPECT_TRUE(PumpUntil([&] { return feed.rows.size() == 50; }, 5000));
    server.CloseConnection();
    EXPECT_TRUE(PumpUntil([&] { return CLevelOneTestHelper::Closed(data); }, 5000));
    DestroyLevelOne();
    EXPECT_EQ(FindWatchedSymbol(L"ABC"), nullptr);
    EXPECT_FALSE(ProbeLevelOne());
    stop.store(true);
    timer.join();
    SetHostFeed(nullptr);
}

}  // namespace
}  // namespace orvella
