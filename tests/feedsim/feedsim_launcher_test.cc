// Orvalink.exe as the plug-in runs it: arguments as single elements, a
// detached simulator, detection of one already serving, clear failures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/feedsim/reply_checker.h"
#include "tests/feedsim/sim_process.h"

namespace feedsim_test {
namespace {

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
}

bool Alive(long pid) {
    const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
    return !status.empty() && status.find("State:\tZ") == std::string::npos;
}

// A private runtime folder and simulator options for each test; the
// simulator a test started is stopped when the test ends.
class LauncherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = MakeTempDir();
        setenv("XDG_RUNTIME_DIR", m_dir.c_str(), 1);
        m_pidFile = m_dir + "/orvella-feed-sim-" + std::to_string(getuid()) + ".pid";
    }
    void TearDown() override {
        const long pid = std::atol(ReadFile(m_pidFile).c_str());
        if (pid > 0 && Alive(pid)) {
            kill(static_cast<pid_t>(pid), SIGTERM);
            for (int i = 0; i < 500 && Alive(pid); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        unsetenv("ORVELLA_FEED_SIM_ARGS");
        std::system(("rm -rf '" + m_dir + "'").c_str());
    }

    int Launch(const std::vector<std::string>& args, std::string* output = nullptr) {
        const std::string out = m_dir + "/launcher-output";
        const int code = WaitExit(Spawn(ORVALINK_PATH, args, out), 20000);
        if (output != nullptr) {
            *output = ReadFile(out);
        }
        return code;
    }

    std::string m_dir;
    std::string m_pidFile;
};

TEST_F(LauncherTest, StartsTheSimulatorDetachedAndFindsItRunningTheNextTime) {
    const int admin = FreePort();
    const std::string options = "--admin-port " + std::to_string(admin) +
                                " --lookup-port 0 --level1-port 0 --login-delay 0";
    setenv("ORVELLA_FEED_SIM_ARGS", options.c_str(), 1);
    const std::vector<std::string> args = {"-product",  "NOVASCOPE_TRADER", "-version",
                                           "1.0.1.1",   "-login",           "-john doe",
                                           "-password", "-secret word"};
    std::string output;
    ASSERT_EQ(Launch(args, &output), 0) << output;
    const long pid = std::atol(ReadFile(m_pidFile).c_str());
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(Alive(pid));

    CClient client(admin);
    ASSERT_TRUE(client.Connected());
    const std::vector<std::string> lines = LfLines(client.ReceiveUntil("\n", 5000));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(AdminState(lines[0]), "Connected");
    EXPECT_EQ(SplitAll(lines[0])[14], "-john doe") << "the login arrives as one argument";
    EXPECT_EQ(SplitAll(lines[0])[21], "NOVASCOPE_TRADER");
    EXPECT_EQ(ReadFile("/proc/" + std::to_string(pid) + "/cmdline").find("secret"),
              std::string::npos)
        << "the password is not put on the simulator's command line";

    ASSERT_EQ(Launch(args, &output), 0) << output;
    EXPECT_NE(output.find("already running"), std::string::npos) << output;
    EXPECT_EQ(std::atol(ReadFile(m_pidFile).c_str()), pid);
}

TEST_F(LauncherTest, StalePidFileStartsANewSimulator) {
    const pid_t gone = Spawn("/bin/true", {}, m_dir + "/true-output");
    WaitExit(gone, 5000);
    std::ofstream(m_pidFile) << gone << "\n";
    setenv(
        "ORVELLA_FEED_SIM_ARGS",
        ("--admin-port " + std::to_string(FreePort()) + " --lookup-port 0 --level1-port 0").c_str(),
        1);
    std::string output;
    ASSERT_EQ(Launch({"-product", "P", "-version", "V", "-login", "u", "-password", "p"}, &output),
              0)
        << output;
    EXPECT_EQ(output.find("already running"), std::string::npos);
    EXPECT_NE(std::atol(ReadFile(m_pidFile).c_str()), static_cast<long>(gone));
}

TEST_F(LauncherTest, BadArgumentLinesFailWithAMessage) {
    const std::vector<std::vector<std::string>> cases = {
        {"-product", "P", "-version", "V", "-login", "u", "-password", ""},
        {"-product", "P", "-version", "V", "-login", "", "-password", "p"},
        {"-product", "P", "-version", "V", "-login", "u"},
        {"-product P -version V -login u -password p"},
        {"-product", "P", "-version", "V", "-login", "u", "-password", "p", "-x"},
    };
    for (const auto& args : cases) {
        std::string output;
        EXPECT_NE(Launch(args, &output), 0);
        EXPECT_NE(output.find("Orvalink.exe: "), std::string::npos) << output;
        EXPECT_NE(output.find("Usage:"), std::string::npos) << output;
    }
    EXPECT_NE(access(m_pidFile.c_str(), F_OK), 0) << "nothing was started";
}

TEST_F(LauncherTest, ReportsASimulatorThatCannotStart) {
    setenv("ORVELLA_FEED_SIM_ARGS", "--no-such-option", 1);
    std::string output;
    EXPECT_EQ(Launch({"-product", "P", "-version", "V", "-login", "u", "-password", "p"}, &output),
              1);
    EXPECT_NE(output.find("did not start"), std::string::npos) << output;
}

TEST_F(LauncherTest, DefaultAdminPortIs9300) {
    setenv("ORVELLA_FEED_SIM_ARGS", "--lookup-port 0 --level1-port 0 --login-delay 0", 1);
    std::string output;
    ASSERT_EQ(Launch({"-product", "P", "-version", "V", "-login", "u", "-password", "p"}, &output),
              0)
        << output;
    CClient client(9300);
    ASSERT_TRUE(client.Connected());
    EXPECT_EQ(AdminState(LfLines(client.ReceiveUntil("\n", 5000)).at(0)), "Connected");
}

}  // namespace
}  // namespace feedsim_test
