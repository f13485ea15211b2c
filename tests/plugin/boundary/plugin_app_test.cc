// Start-up and exit of the application object.
#include "plugin/boundary/exports/plugin_app.h"

#include <gtest/gtest.h>

#include "platform/timer_queue.h"
#include "plugin/boundary/exports/liveness_timer.h"
#include "plugin/boundary/global_state.h"
#include "plugin/diagnostics/log.h"
#include "testing/log_lines.h"
#include "tests/plugin/boundary/boundary_test_support.h"

namespace orvella {
namespace {

int g_deleteError = 0;
int g_deletes = 0;
int g_queueToken;

bool FakeDeleteQueue(platform::TimerQueue*) {
    ++g_deletes;
    platform::SetLastPlatformError(g_deleteError);
    return g_deleteError == 0;
}

class PluginAppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::StartFreshPlugin(&m_host, &m_parts);
        m_savedOps = TimerQueueOps();
        TimerQueueOps().deleteQueue = &FakeDeleteQueue;
        g_deletes = 0;
        test::WriteSettingDword(L"Logging", 1);
        test::WriteSettingText(L"NovaScopeRoot", m_logDir.path().wstring());
    }
    void TearDown() override {
        TimerQueueOps() = m_savedOps;
        test::ResetPluginState();
    }

    testing::CRecordingHostFeed m_host;
    test::CFakeParts m_parts;
    test::CTempDir m_logDir;
    CTimerQueueOps m_savedOps{};
};

TEST_F(PluginAppTest, FirstStartUpOpensTheLogAndAsksForCredentialsOnce) {
    COrvellaForNSTApp app;
    EXPECT_TRUE(app.InitInstance());
    EXPECT_TRUE(app.InitInstance());
    EXPECT_EQ(app.initCount(), 2);
    EXPECT_EQ(m_host.Count("RequireUserIDPassword"), 1);
    EXPECT_TRUE(LogFileIsOpen());

    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_TRUE(LogFileIsOpen());  // not the last exit
    app.ExitInstance();
    EXPECT_FALSE(LogFileIsOpen());

    const std::string log = test::ReadLogs(m_logDir.path());
    size_t at = 0;
    ASSERT_EQ(
        testing::LinesOutOfOrder(
            log,
            {",Telling Nova Scope Trader that we require a password\r\n",
             ",Require UserID and Password has been called\r\n",
             ",Before initialize Windows Sockets\r\n", ",After initialize Windows Sockets\r\n",
             ",The Init process has been completed\r\n", ",Before initialize Windows Sockets\r\n",
             ",Closing Logfile\r\n"},
            false, &at),
        "");
    EXPECT_EQ(at + std::string(",Closing Logfile\r\n").size(), log.size());
    // Entries after the close are dropped rather than opening a new file.
    WriteLogLine(L"late");
    EXPECT_EQ(test::ReadLogs(m_logDir.path()), log);
}

TEST_F(PluginAppTest, LastExitDeletesTheTimerQueue) {
    struct Case {
        int error;
        bool logged;
    };
    for (const Case& c : {Case{0, false}, Case{platform::kErrorIoPending, false}, Case{6, true}}) {
        test::CTempDir logDir;
        test::WriteSettingText(L"NovaScopeRoot", logDir.path().wstring());
        COrvellaForNSTApp app;
        ASSERT_TRUE(app.InitInstance());
        Globals().timerQueue = &g_queueToken;
        Globals().livenessTimer = &g_queueToken;
        g_deleteError = c.error;
        app.ExitInstance();
        EXPECT_EQ(Globals().timerQueue, nullptr);
        const std::string log = test::ReadLogs(logDir.path());
        const size_t before = log.find(",Before delete of the Timer Queue\r\n");
        const size_t failed = log.find(",Timer Queue delete failed (6)\r\n");
        const size_t after = log.find(",After the delete of the Timer Queue\r\n");
        const size_t closing = log.find(",Closing Logfile\r\n");
        ASSERT_NE(before, std::string::npos);
        EXPECT_EQ(failed != std::string::npos, c.logged) << c.error;
        EXPECT_LT(before, after);
        EXPECT_LT(after, closing);
    }
    EXPECT_EQ(g_deletes, 3);
}

TEST_F(PluginAppTest, ExitWithoutTimerQueueSkipsItsLines) {
    COrvellaForNSTApp app;
    ASSERT_TRUE(app.InitInstance());
    app.ExitInstance();
    EXPECT_EQ(g_deletes, 0);
    EXPECT_EQ(test::ReadLogs(m_logDir.path()).find("Timer Queue"), std::string::npos);
}

}  // namespace
}  // namespace orvella
