// Orvalink.exe as the plug-in runs it: arguments as single elements, a
// detached simulator, detection of one already serving, clear failures.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "testing/loopback.h"
#include "tests/feedsim/reply_checker.h"
#include "tests/feedsim/sim_process.h"

namespace feedsim_test {
namespace {

int FreePort() {
    return orvella::testing::UnusedPort();
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
        Stop(m_pidFile);
        unsetenv("ORVELLA_FEED_SIM_ARGS");
        unsetenv("TMPDIR");
        std::system(("rm -rf '" + m_dir + "'").c_str());
    }

    // Stops the simulator whose pid file this is.
    static void Stop(const std::string& pidFile) {
        const long pid = std::atol(ReadFile(pidFile).c_str());
        if (pid > 0 && Alive(pid)) {
            kill(static_cast<pid_t>(pid), SIGTERM);
            for (int i = 0; i < 500 && Alive(pid); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
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

    // It outlives its caller until it is told to stop.
    ASSERT_EQ(Launch({"--stop"}, &output), 0) << output;
    EXPECT_NE(output.find("stopped orvella-feed-sim (pid " + std::to_string(pid) + ")"),
              std::string::npos)
        << output;
    EXPECT_FALSE(Alive(pid));
    ASSERT_EQ(Launch({"--stop"}, &output), 0) << output;
    EXPECT_NE(output.find("not running"), std::string::npos) << output;
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

// Anyone may plant files and links in the shared temporary folder: the
// launcher keeps its pid file and log in a folder only the user can write and
// never appends through a link.
TEST_F(LauncherTest, KeepsItsFilesOutOfReachOfOtherUsers) {
    const std::string uid = std::to_string(getuid());
    const std::string shared = m_dir + "/shared";  // like /tmp
    const std::string own = shared + "/orvella-feed-sim-" + uid;
    const std::string open = m_dir + "/open";
    const std::string victim = m_dir + "/victim";
    struct Case {
        const char* name;
        const char* runtimeDir;   // XDG_RUNTIME_DIR, nullptr: unset
        std::string plantedLink;  // a link to the victim at this path
        bool ownFolderOpen;       // the user's folder in TMPDIR is writable by all
        std::string folder;       // where the pid file and log go; "" none
    } cases[] = {
        {"a link at the log's place", m_dir.c_str(), m_dir + "/orvella-feed-sim-" + uid + ".log",
         false, m_dir},
        {"no runtime folder", nullptr, shared + "/orvella-feed-sim-" + uid + ".log", false, own},
        {"a runtime folder that all may write", open.c_str(), "", false, own},
        {"a folder of the user's name that all may write", nullptr, "", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::system(("rm -rf '" + shared + "' '" + open + "'").c_str());
        for (const std::string& folder : {shared, open}) {
            ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
            chmod(folder.c_str(), 01777);
        }
        if (c.ownFolderOpen) {
            ASSERT_EQ(mkdir(own.c_str(), 0700), 0);
            chmod(own.c_str(), 0777);
        }
        std::ofstream(victim) << "victim\n";
        unlink(c.plantedLink.c_str());
        if (!c.plantedLink.empty()) {
            ASSERT_EQ(symlink(victim.c_str(), c.plantedLink.c_str()), 0);
        }
        if (c.runtimeDir != nullptr) {
            setenv("XDG_RUNTIME_DIR", c.runtimeDir, 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
        setenv("TMPDIR", shared.c_str(), 1);
        setenv("ORVELLA_FEED_SIM_ARGS",
               ("--admin-port " + std::to_string(FreePort()) + " --lookup-port 0 --level1-port 0")
                   .c_str(),
               1);
        std::string output;
        const int code =
            Launch({"-product", "P", "-version", "V", "-login", "u", "-password", "p"}, &output);
        const std::string pidFile = c.folder + "/orvella-feed-sim-" + uid + ".pid";
        const std::string log = c.folder + "/orvella-feed-sim-" + uid + ".log";
        if (c.folder.empty()) {
            EXPECT_EQ(code, 1) << output;
            EXPECT_NE(output.find("is not a folder that only you can write"), std::string::npos)
                << output;
        } else {
            EXPECT_EQ(code, 0) << output;
            EXPECT_GT(std::atol(ReadFile(pidFile).c_str()), 0);
            Stop(pidFile);
            struct stat folder {};
            ASSERT_EQ(stat(c.folder.c_str(), &folder), 0);
            EXPECT_EQ(folder.st_mode & 077, 0u);
            if (c.plantedLink == log) {
                EXPECT_NE(output.find("cannot open log"), std::string::npos) << output;
            } else {
                EXPECT_NE(ReadFile(log).find("ready"), std::string::npos);
            }
        }
        EXPECT_EQ(ReadFile(victim), "victim\n");
    }
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
