// The connection check against the feed stand-in in each of its fault modes,
// and the headless job's exit status.
#include "setup/connection_check.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "settings/registry_access.h"
#include "settings/settings_keys.h"
#include "testing/feed_sim.h"
#include "testing/setup/fake_settings_store.h"
#include "testing/setup/http_test_server.h"
#include "testing/setup/test_view.h"
#include "tests/setup/setup_env.h"

namespace orvella {
namespace {

class ConnectionCheckTest : public testing::SetupEnvTest {
  protected:
    // Starts the stand-in on the admin port the check asks and stores its
    // two other ports where the plug-in reads them.
    bool StartFeed(const std::vector<std::string>& options) {
        testing::CFeedSimOptions sim;
        sim.adminPort = kCheckAdminPort;
        sim.portWaitSeconds = 10;
        sim.options = options;
        if (!m_sim.Start(m_root.string(), sim))
            return false;
        SetPorts(m_sim.lookup, m_sim.level1);
        return true;
    }

    static void SetPorts(int lookup, int level1) {
        WriteRegString(std::string(kStartupKeyA) + "\\LookupPort", std::to_string(lookup));
        WriteRegString(std::string(kStartupKeyA) + "\\Level1Port", std::to_string(level1));
    }

    testing::CFeedSim m_sim;
};

TEST_F(ConnectionCheckTest, ReportsEachStepAndWhatToDo) {
    const std::string symbolFile = m_nst + "/mktlist_v2.txt";
    test::WriteFile(symbolFile, "Symbol\tDescription\r\nABC\tAbc Corp\tNYSE\r\n");
    // NovaScopeRoot: unset, a folder holding the host program, one without
    // it, one where a folder has the program's name.
    enum Root { kUnset, kHost, kNoHost, kHostIsAFolder };
    const std::string noHost = m_root.string() + "/elsewhere";
    const std::string hostFolder = m_root.string() + "/folder-named-host";
    std::filesystem::create_directories(noHost);
    std::filesystem::create_directories(hostFolder + "/" + HostProgramName());
    PutHostProgram(m_nst);
    const std::string noHostLine = "FAILED  NovaScope Install directory: " + noHost +
                                   " does not hold the charting host (no " + HostProgramName() +
                                   " in it), so the plug-in and the LST files would not reach "
                                   "it. Enter the charting host's folder";
    struct Case {
        const char* name;
        std::vector<std::string> options;  // of the stand-in
        Root root;
        bool lookupDown;  // LookupPort names a port where nothing listens
        int failed;
        std::string line;  // a line of the report
    } cases[] = {
        {"all well", {}, kHost, false, 0, "ok      level-one watch of ABC: greeted with"},
        {"all well: the install directory",
         {},
         kHost,
         false,
         0,
         "ok      NovaScope Install directory: " + m_nst + " holds the charting host (" +
             HostProgramName() + ") and is writable"},
        {"no install directory",
         {},
         kUnset,
         false,
         1,
         "FAILED  NovaScope Install directory: not set. Enter"},
        {"install directory without the host", {}, kNoHost, false, 1, noHostLine},
        {"a folder in the host program's place",
         {},
         kHostIsAFolder,
         false,
         1,
         "FAILED  NovaScope Install directory: " + hostFolder + " does not hold the charting host"},
        {"never connected",
         {"--fault-never-connected"},
         kHost,
         false,
         1,
         "FAILED  feed login (admin port 9300): the feed client is not connected to the feed."},
        {"admin closes at once",
         {"--fault-admin-close"},
         kHost,
         false,
         1,
         "FAILED  feed login (admin port 9300): no status line: the connection was closed."},
        {"no customer-information line",
         {"--fault-no-cust"},
         kHost,
         false,
         1,
         "FAILED  level-one watch of ABC: no customer-information line: no answer within 1 s."},
        {"lookup never answers",
         {"--fault-lookup-silent"},
         kHost,
         false,
         1,
         "FAILED  history request HDX,ABC,,1: no end of the reply after 0 lines: no answer"},
        {"reply without end line",
         {"--fault-no-end-line"},
         kHost,
         false,
         1,
         "FAILED  history request HDX,ABC,,1: no end of the reply after "},
        {"lookup port closed",
         {},
         kHost,
         true,
         2,
         "FAILED  history request HDX,ABC,,1: connection refused: nothing listens there."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(StartFeed(c.options));
        if (c.lookupDown)
            SetPorts(test::CHttpTestServer::UnusedPort(), m_sim.level1);
        test::CTestView view;
        test::CFakeSettingsStore store;
        if (c.root != kUnset)
            store.strings[kValueNovaScopeRoot] = c.root == kHost     ? m_nst
                                                 : c.root == kNoHost ? noHost
                                                                     : hostFolder;
        CheckLimits limits;
        limits.answerMs = 1000;
        // The stand-in's daily reply spans years; a sanitizer build needs a
        // few seconds for it.
        limits.historyMs = 5000;
        CConnectionCheck check(&view, &store, limits);
        EXPECT_EQ(check.Run("", symbolFile), c.failed);
        const std::string report = ::testing::PrintToString(view.status);
        EXPECT_TRUE(view.HasStatus(c.line)) << report;
        EXPECT_EQ(view.status.front(), "Checking the feed client set-up:");
        EXPECT_EQ(view.status.back(), c.failed == 0
                                          ? "All 8 checks passed."
                                          : std::to_string(c.failed) + " of 8 checks failed.")
            << report;
        EXPECT_FALSE(test::FileExists(m_nst + "/OrvellaNSTSetup.check"));
        EXPECT_FALSE(test::FileExists(noHost + "/OrvellaNSTSetup.check"));
        m_sim.Stop();
    }
}

TEST_F(ConnectionCheckTest, TheHeadlessCheckExitsWithTheOutcome) {
    ASSERT_TRUE(StartFeed({}));
    PutHostProgram(m_nst);
    WriteRegString(kNovaScopeRootPathA, m_nst);
    const std::string command = std::string(ORVELLA_SETUP_PROGRAM) + " --headless check XYZ >" +
                                (m_root / "out.txt").string() + " 2>&1";
    int status = std::system(command.c_str());
    const std::string out = test::ReadFile((m_root / "out.txt").string());
    EXPECT_EQ(WEXITSTATUS(status), 0) << out;
    EXPECT_NE(out.find("\nok      history request HDX,XYZ,,1: answered with "), std::string::npos)
        << out;
    EXPECT_NE(out.find("\nAll 8 checks passed.\n"), std::string::npos) << out;
    m_sim.Stop();

    status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1) << test::ReadFile((m_root / "out.txt").string());
}

}  // namespace
}  // namespace orvella
