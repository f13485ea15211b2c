// The launch of the feed client and the wait on its admin port, against a
// recording launcher script and small local servers.
#include "plugin/boundary/exports/admin_login.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "plugin/boundary/exports/OrvellaForNST.h"
#include "plugin/boundary/exports/feed_launch.h"
#include "plugin/boundary/global_state.h"
#include "testing/log_lines.h"
#include "testing/loopback.h"
#include "tests/plugin/boundary/boundary_test_support.h"

namespace orvella {
namespace {

// The feed client's admin port for one login: sends its chunks, then waits
// holdMs to see whether the client closes first.
class CAdminStandIn {
  public:
    CAdminStandIn(uint16_t port, std::vector<std::string> chunks, int holdMs)
        : m_server(port,
                   [this, chunks = std::move(chunks), holdMs](testing::CLoopbackServer& server) {
                       for (const std::string& chunk : chunks) {
                           server.Send(chunk);
                           server.Pause(30);
                       }
                       m_clientClosedFirst = server.WaitClientClosed(holdMs);
                       server.CloseConnection();
                   }) {}

    bool listening() const { return m_server.listening(); }
    uint16_t port() const { return m_server.port(); }
    // Waits for the stand-in to finish; true when the client closed first.
    bool ClientClosedFirst() {
        m_server.Finish();
        return m_clientClosedFirst;
    }

  private:
    bool m_clientClosedFirst = false;
    testing::CLoopbackServer m_server;
};

std::string StatusLine(const std::string& state, int count = 21) {
    std::string line;
    for (int i = 1; i <= count; ++i) {
        line += (i > 1 ? "," : "") + (i == 13 ? state : "f" + std::to_string(i));
    }
    return line;
}

TEST(AdminLogin, WaitEndsWhenConnectedIsReported) {
    struct Case {
        const char* name;
        std::vector<std::string> chunks;
        bool endsByItself;
    };
    const std::string connected = StatusLine("Connected");
    const Case cases[] = {
        {"one line", {connected + "\n"}, true},
        {"line split across receives",
         {connected.substr(0, 25), connected.substr(25) + "\n"},
         true},
        {"only twenty fields", {StatusLine("Connected", 20) + "\n"}, false},
        {"other case", {StatusLine("CONNECTED") + "\n"}, false},
        {"no line end", {connected}, false},
    };
    for (const Case& c : cases) {
        CAdminStandIn server(0, c.chunks, 400);
        ASSERT_TRUE(server.listening());
        CAdminLogin login;
        EXPECT_EQ(login.ConnectAndSend(std::string(), server.port()), 1) << c.name;
        login.WaitUntilConnected();
        EXPECT_EQ(server.ClientClosedFirst(), c.endsByItself) << c.name;
    }
}

TEST(AdminLogin, WaitEndsAtOnceWithoutAConnection) {
    CAdminLogin login;
    EXPECT_EQ(login.ConnectAndSend("x", testing::UnusedPort()), 0);
    login.WaitUntilConnected();
}

// Logs into a private folder and puts a launcher on PATH that records its
// arguments, one per line.
class LoginTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::UsePrivateRegistry();
        test::ResetPluginState();
        SetHostFeed(&m_host);
        test::LogInto(m_logDir.path());
        m_argvFile = m_launcherDir.path() / "argv";
        const std::filesystem::path script = m_launcherDir.path() / "Orvalink.exe";
        std::ofstream(script) << "#!/bin/sh\n"
                                 "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.part\"\n"
                                 "mv \"$0.part\" \"$(dirname \"$0\")/argv\"\n";
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        m_savedPath = getenv("PATH");
        setenv("PATH", (m_launcherDir.path().string() + ":" + m_savedPath).c_str(), 1);
    }

    void TearDown() override {
        setenv("PATH", m_savedPath.c_str(), 1);
        test::ResetPluginState();
    }

    std::string LauncherArgv() {
        for (int i = 0; i < 500 && !std::filesystem::exists(m_argvFile); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::ifstream in(m_argvFile);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    testing::CRecordingHostFeed m_host;
    test::CBoxRecorder m_boxes;
    test::CTempDir m_logDir;
    test::CTempDir m_launcherDir;
    std::filesystem::path m_argvFile;
    std::string m_savedPath;
};

TEST_F(LoginTest, LaunchesWithEachCredentialAsOneArgumentAndReadsTheSettings) {
    const std::string connected = StatusLine("Connected");
    CAdminStandIn admin(kAdminPort,
                        {"1,2,3\n" + connected.substr(0, 40), connected.substr(40) + "\n"}, 5000);
    if (!admin.listening()) {
        GTEST_SKIP() << "port 9300 is taken on this machine";
    }
    test::WriteSettingDword(L"Streaming", 1);
    test::WriteSettingDword(L"ExtendedTrade", 1);
    test::WriteSettingText(L"BeginFilterTime", L"093000");
    test::WriteSettingText(L"EndFilterTime", L"160000");

    const char* password = "-x secret word";
    EXPECT_EQ(UserIDPasswordChanged("trader one", password), -1);
    EXPECT_TRUE(admin.ClientClosedFirst());

    EXPECT_EQ(LauncherArgv(), "-product\nNOVASCOPE_TRADER\n-version\n" ORVELLA_TEST_VERSION
                              "\n-login\ntrader one\n-password\n-x secret word\n");
    CGlobalState& state = Globals();
    EXPECT_EQ(state.credentialsKnown, -1);
    EXPECT_EQ(state.userId, L"trader one");
    EXPECT_EQ(state.password, L"-x secret word");
    EXPECT_EQ(state.streamingEnabled, 1);
    EXPECT_EQ(state.extendedTradesEnabled, 1);
    EXPECT_EQ(state.tradeFilterOn, 1);
    EXPECT_EQ(state.filterBeginHour, 9);
    EXPECT_EQ(state.filterBeginMinute, 30);
    EXPECT_EQ(state.filterEndHour, 16);
    EXPECT_TRUE(m_boxes.boxes.empty());

    const std::string log = test::ReadLogs(m_logDir.path());
    EXPECT_EQ(log.find("secret"), std::string::npos);
    ASSERT_EQ(testing::LinesOutOfOrder(
                  log, {",Beginning UserIDPasswordChanged\r\n",
                        ",UserID = trader one; Password = ********\r\n",
                        ",Before launch and login of Orvella\r\n",
                        "; version " ORVELLA_TEST_VERSION "\r\n", ",After login of Orvella\r\n",
                        ",Read in registry settings\r\n", ",Ending UserIDPasswordChanged\r\n"}),
              "");
}

// A feed client that was just started listens a moment later: the login
// retries its admin connect until then, within a bound.
TEST_F(LoginTest, AdminConnectIsRetriedUntilTheFeedClientListens) {
    if (testing::PortIsListening(kAdminPort)) {
        GTEST_SKIP() << "something listens on port 9300 on this machine";
    }
    struct Case {
        const char* name;
        int listenAfterMs;  // -1: never
        bool connected;
    };
    const Case cases[] = {
        {"listens after 300 ms", 300, true},
        {"never listens", -1, false},
    };
    const CAdminListenWait saved = AdminListenWait();
    AdminListenWait() = CAdminListenWait{1000, 50};
    for (const Case& c : cases) {
        std::unique_ptr<CAdminStandIn> admin;
        std::thread late;
        if (c.listenAfterMs >= 0) {
            late = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(c.listenAfterMs));
                admin = std::make_unique<CAdminStandIn>(
                    kAdminPort, std::vector<std::string>{StatusLine("Connected") + "\n"}, 5000);
            });
        }
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_EQ(UserIDPasswordChanged("trader", "pw"), -1) << c.name;
        const auto took = std::chrono::steady_clock::now() - begin;
        if (late.joinable()) {
            late.join();
        }
        if (c.connected) {
            ASSERT_TRUE(admin && admin->listening()) << c.name;
            EXPECT_TRUE(admin->ClientClosedFirst()) << c.name;
            EXPECT_LT(took, std::chrono::milliseconds(900)) << c.name;
        } else {
            EXPECT_GE(took, std::chrono::milliseconds(1000)) << c.name;
        }
        // Nothing reached the settings store: the defaults apply.
        EXPECT_EQ(Globals().streamingEnabled, 0) << c.name;
        EXPECT_EQ(Globals().beginFilterText, L"000000") << c.name;
        EXPECT_EQ(Globals().tradeFilterOn, 0) << c.name;
        EXPECT_NE(LauncherArgv().find("-login\ntrader\n-password\npw\n"), std::string::npos);
        EXPECT_NE(test::ReadLogs(m_logDir.path()).find(",After login of Orvella\r\n"),
                  std::string::npos);
    }
    AdminListenWait() = saved;
}

}  // namespace
}  // namespace orvella
