// Plug-ins loaded into the stand-in host: the call record of the test
// plug-in (stand-in parts) and of the shipped plug-in, load after load.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "tests/plugin/boundary/boundary_test_support.h"

namespace orvella {
namespace {

struct HostRun {
    int status = -1;
    std::vector<std::string> lines;  // the call record
    std::vector<std::string> calls;  // the "call" of each line
};

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

class NstHostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::UsePrivateRegistry();
        test::WriteSettingDword(L"Logging", 1);
        test::WriteSettingText(L"NovaScopeRoot", m_logDir.path().wstring());
        m_savedPath = getenv("PATH");
        // No launcher on the search path: credentials fail to launch.
        setenv("PATH", m_emptyDir.path().c_str(), 1);
    }
    void TearDown() override { setenv("PATH", m_savedPath.c_str(), 1); }

    HostRun Run(const char* plugin, const std::vector<std::string>& commands) {
        const std::filesystem::path record = m_logDir.path() / "record.jsonl";
        std::string command = std::string(NST_HOST_PATH) + " -q --record " + Quote(record);
        for (const std::string& c : commands) {
            command += " -c " + Quote(c);
        }
        command += " " + Quote(plugin) + " 2>/dev/null";
        HostRun run;
        const int status = std::system(command.c_str());
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream in(record);
        const std::regex call(R"re(^\{"call":"(\w+)")re");
        for (std::string line; std::getline(in, line);) {
            std::smatch match;
            run.calls.push_back(std::regex_search(line, match, call) ? match[1].str() : "?");
            run.lines.push_back(line);
        }
        return run;
    }

    test::CTempDir m_logDir;
    test::CTempDir m_emptyDir;
    std::string m_savedPath;
};

TEST_F(NstHostTest, TestPluginServesARequestBetweenLoadAndUnload) {
    const HostRun run = Run(TEST_PLUGIN_PATH, {"request ABC 5 2011-08-01 Abc Stocks Date,,Close",
                                               "remove ABC 5", "credentials trader \"pass word\""});
    ASSERT_EQ(run.status, 0);
    const std::vector<std::string> expected = {
        "RequireUserIDPassword", "Load",         "GetUserIDPassword",     "NSTSETUPDATA",
        "NSTSETLABEL",           "NSTSETLABEL",  "NSTSETLABEL",           "NSTSETVALUE",
        "NSTSETVALUE",           "NSTCOMMITROW", "UpdatePercent",         "NSTSETVALUE",
        "NSTSETVALUE",           "NSTCOMMITROW", "UpdatePercent",         "RequestTicker",
        "RemoveTicker",          "MessageBox",   "UserIDPasswordChanged", "Unload"};
    EXPECT_EQ(run.calls, expected);
    ASSERT_EQ(run.lines.size(), expected.size());
    EXPECT_NE(run.lines[3].find(R"("interval":5,"columns":3)"), std::string::npos) << run.lines[3];
    EXPECT_NE(run.lines[5].find(R"("column":2,"label":"")"), std::string::npos) << run.lines[5];
    EXPECT_NE(run.lines[15].find(R"("result":1)"), std::string::npos);
    EXPECT_NE(run.lines[16].find(R"("result":1)"), std::string::npos);
    EXPECT_NE(run.lines[17].find(R"("caption":"OrvellaForNST","text":"ERROR! Unable to launch)"),
              std::string::npos)
        << run.lines[17];
    EXPECT_NE(run.lines[18].find(R"("result":0)"), std::string::npos);

    const std::string log = test::ReadLogs(m_logDir.path());
    EXPECT_NE(log.find(",UserID = trader; Password = ********\r\n"), std::string::npos);
    EXPECT_EQ(log.find("pass word"), std::string::npos);
    EXPECT_EQ(log.rfind(",Closing Logfile\r\n") + 18, log.size());
}

// Each load runs the start-up again (the library really leaves the process
// at unload) and each unload its exit; under the sanitizers the host exits
// non-zero if the plug-in leaks.
void ExpectLoadsAndUnloads(const HostRun& run, int loads) {
    ASSERT_EQ(run.status, 0);
    std::vector<std::string> expected;
    for (int i = 0; i < loads; ++i) {
        expected.insert(expected.end(),
                        {"RequireUserIDPassword", "Load", "RemoveTicker", "Unload"});
    }
    EXPECT_EQ(run.calls, expected);
}

TEST_F(NstHostTest, TestPluginLoadsAndUnloadsAgainAndAgain) {
    std::vector<std::string> commands = {"remove A 1"};
    for (int i = 0; i < 4; ++i) {
        commands.insert(commands.end(), {"unload", "load", "remove A 1"});
    }
    ExpectLoadsAndUnloads(Run(TEST_PLUGIN_PATH, commands), 5);
}

TEST_F(NstHostTest, ShippedPluginLoadsAndUnloadsAgainAndAgain) {
    std::vector<std::string> commands = {"remove A 1"};
    for (int i = 0; i < 2; ++i) {
        commands.insert(commands.end(), {"unload", "load", "remove A 1"});
    }
    ExpectLoadsAndUnloads(Run(SHIPPED_PLUGIN_PATH, commands), 3);
}

}  // namespace
}  // namespace orvella
