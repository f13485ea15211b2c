// One whole history load on the test's thread against a lookup stand-in on
// 127.0.0.1: request text, rows, progress, and the ways a load can fail.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "history_doubles.h"
#include "platform/message_box.h"
#include "platform/message_queue.h"
#include "plugin/boundary/global_state.h"
#include "plugin/history/history_load.h"
#include "settings/registry_access.h"
#include "testing/loopback.h"
#include "tests/settings/settings_env.h"

namespace orvella {
namespace {

// The feed client's lookup port for one load: takes the request line and
// answers it with pieces sent pauseMs apart.
class CLookupStandIn {
  public:
    enum class Ending {
        kClose,     // close the connection after the reply
        kHoldOpen,  // keep it open until the stand-in is destroyed
    };

    CLookupStandIn(std::vector<std::string> pieces, Ending ending, int pauseMs = 20)
        : m_server(0,
                   [pieces = std::move(pieces), ending, pauseMs](testing::CLoopbackServer& server) {
                       server.WaitReceived("\n", kLimitMs);
                       for (const std::string& piece : pieces) {
                           server.Send(piece);
                           if (!server.Pause(pauseMs)) {
                               return;
                           }
                       }
                       if (ending == Ending::kHoldOpen) {
                           server.Pause(6 * kLimitMs);
                       }
                       server.CloseConnection();
                   }) {}

    uint16_t port() const { return m_server.port(); }
    // The request line as received (CR LF included), waiting for it a while.
    std::string Request() {
        m_server.WaitReceived("\n", kLimitMs);
        const std::string received = m_server.Received();
        const size_t end = received.find('\n');
        return end == std::string::npos ? received : received.substr(0, end + 1);
    }

  private:
    static constexpr int kLimitMs = 10000;
    testing::CLoopbackServer m_server;
};
using Ending = CLookupStandIn::Ending;

constexpr wchar_t kLoadAborted[] =
    L"Aborting the loading of historical data because of an error! Please reload this chart!";
constexpr wchar_t kNotSent[] =
    L"Aborting because we were unable to make a history request. Please reload this chart!";
constexpr double kAug1 = 40756.0;

class HistoryLoopTest : public testing::SettingsEnvTest {
  protected:
    void SetUp() override {
        testing::SettingsEnvTest::SetUp();
        platform::SetMessageBoxObserver(&HistoryLoopTest::OnMessageBox, this);
        test::ClearLog();
        Globals().streamingEnabled = 0;
        Globals().beginFilterText = L"000000";
        Globals().endFilterText = L"235959";
    }
    void TearDown() override {
        platform::SetMessageBoxObserver(nullptr, nullptr);
        Globals().streamingEnabled = 0;
        Globals().beginFilterText.clear();
        Globals().endFilterText.clear();
        testing::SettingsEnvTest::TearDown();
    }

    static void OnMessageBox(const std::wstring& caption, const std::wstring& text, unsigned flags,
                             void* context) {
        auto* self = static_cast<HistoryLoopTest*>(context);
        self->m_boxes.push_back(text);
        EXPECT_EQ(caption, L"OrvellaForNST");
        EXPECT_EQ(flags, platform::kMbIconError | platform::kMbSystemModal);
    }

    void UsePort(uint16_t port) {
        WriteRegString(L"Software\\Corvan\\Orvella\\Startup\\LookupPort", std::to_wstring(port));
    }

    // Runs the load and returns its duration in seconds.
    double Load(float interval, double startDate = kAug1 + 9.5 / 24) {
        CHistoryRequestArgs request;
        request.symbol = L"ABC";
        request.startDate = startDate;
        request.interval = interval;
        const auto begin = std::chrono::steady_clock::now();
        LoadHistory(request);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    }

    int Count100() const {
        int count = 0;
        for (int percent : m_scope.host.Percents()) {
            count += percent == 100;
        }
        return count;
    }

    std::vector<std::wstring> m_boxes;
    test::CHostFeedScope m_scope;
};

TEST_F(HistoryLoopTest, IntervalBarsArriveInPieces) {
    CLookupStandIn standIn({"2011-08-01 09:30:00,12.5,12.0,12.2,12.4,999,1000\r\n2011-08-01 09:3",
                            "5:00,13.5,13.0,13.2,13.4,999,2000\r\n", "!ENDMSG!\r\n"},
                           Ending::kHoldOpen);
    UsePort(standIn.port());
    Load(5.0f);
    EXPECT_EQ(standIn.Request(), "HIT,ABC,300,20110801 093000,,,000000,235959,1\r\n");
    const double t = kAug1 + 9.5 / 24;
    ASSERT_EQ(m_scope.host.Rows().size(), 2u);
    EXPECT_EQ(m_scope.host.Rows()[0], (std::vector<double>{t, 12.2, 12.5, 12.0, 12.4, 1000.0}));
    EXPECT_EQ(m_scope.host.Percents().back(), 100);
    EXPECT_EQ(Count100(), 1);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_TRUE(test::LogContains(L"History Data Sucessful SendRequest"));
}

TEST_F(HistoryLoopTest, ReplyAndCloseTogether) {
    // The feed client may close right after the end line; what it sent still
    // arrives before the close is handled.
    CLookupStandIn standIn({"2011-08-01,12.5,12.0,12.2,12.4,1000,7\r\n!ENDMSG!\r\n"},
                           Ending::kClose, 0);
    UsePort(standIn.port());
    Load(1440.0f);
    EXPECT_EQ(standIn.Request(), "HDX,ABC,,1\r\n");
    EXPECT_EQ(m_scope.host.Rows().size(), 1u);
    EXPECT_EQ(Count100(), 1);
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(HistoryLoopTest, ZeroByteSpoilsOnlyItsOwnLine) {
    std::string piece = "2011-08-01,12.5,12.0,12.2,12.4,1000,7\r\n";
    piece += "2011-08-02,1,";
    piece += '\0';
    piece += "1,1,1,1,1\r\n2011-08-03,1,1,1,1,1,1\r\n";
    CLookupStandIn standIn({piece, "!ENDMSG!\r\n"}, Ending::kHoldOpen, 100);
    UsePort(standIn.port());
    Load(43200.0f);
    EXPECT_EQ(standIn.Request(), "HMX,ABC,,1\r\n");
    ASSERT_EQ(m_scope.host.Rows().size(), 2u);
    EXPECT_EQ(m_scope.host.Rows()[1][0], kAug1 + 2);
    EXPECT_TRUE(test::LogContains(L"Skipped 1 history lines that could not be read"));
}

TEST_F(HistoryLoopTest, FailuresEndTheLoad) {
    struct Case {
        const char* name;
        std::vector<std::string> pieces;
        Ending ending;
        bool listen;
        const wchar_t* box;
    } cases[] = {
        {"closed mid-reply",
         {"2011-08-01,1,1,1,1,1,1\r\n2011-08-02,1,1,"},
         Ending::kClose,
         true,
         kLoadAborted},
        {"closed without an end line",
         {"2011-08-01,1,1,1,1,1,1\r\n"},
         Ending::kClose,
         true,
         kLoadAborted},
        {"closed before any data", {}, Ending::kClose, true, kLoadAborted},
        {"silent after some data",
         {"2011-08-01,1,1,1,1,1,1\r\n"},
         Ending::kHoldOpen,
         true,
         kLoadAborted},
        {"connection refused", {}, Ending::kClose, false, kNotSent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_boxes.clear();
        test::ClearLog();
        m_scope.host.Clear();
        CLookupStandIn standIn(c.pieces, c.ending);
        UsePort(c.listen ? standIn.port() : testing::UnusedPort());
        const double seconds = Load(1440.0f);
        EXPECT_LT(seconds, c.ending == Ending::kHoldOpen ? 30.0 : 10.0);
        ASSERT_EQ(m_boxes.size(), 1u);
        EXPECT_EQ(m_boxes[0], c.box);
        EXPECT_TRUE(test::LogContains(c.box));
        EXPECT_EQ(Count100(), 1);
        EXPECT_EQ(m_scope.host.Percents().back(), 100);
    }
}

TEST_F(HistoryLoopTest, QuitMessageEndsTheWaitAndStaysQueued) {
    CLookupStandIn standIn({"2011-08-01,1,1,1,1,1,1\r\n"}, Ending::kHoldOpen, 50);
    UsePort(standIn.port());
    // The quit message is queued before the wait starts; the load must end
    // (event signalled, 100 percent) and leave the quit for the thread's loop.
    platform::PostQuitMessage(3);
    Load(1440.0f);
    EXPECT_EQ(Count100(), 1);
    platform::Message msg;
    bool sawQuit = false;
    while (platform::PeekMessage(&msg)) {
        if (msg.id == platform::kQuitMessage) {
            sawQuit = true;
            EXPECT_EQ(msg.wparam, 3u);
        }
    }
    EXPECT_TRUE(sawQuit);
}

}  // namespace
}  // namespace orvella
