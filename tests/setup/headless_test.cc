// The program itself in its headless mode, with the settings in a fresh
// registry: what it prints and how it exits.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "settings/registry_access.h"
#include "settings/settings_keys.h"
#include "setup/version_text.h"
#include "tests/settings/settings_env.h"
#include "tests/setup/fake_settings_store.h"
#include "tests/setup/http_test_server.h"

namespace orvella {
namespace {

struct ProgramRun {
    int exitCode;
    std::string out;
    std::string err;
};

class HeadlessTest : public testing::SettingsEnvTest {
  protected:
    void SetUp() override {
        testing::SettingsEnvTest::SetUp();
        test::ClearProxyEnvironment();
        m_nst = (m_root / "nst").string();
        std::filesystem::create_directories(m_nst);
    }

    ProgramRun Headless(const std::string& job) {
        const std::string out = (m_root / "out.txt").string();
        const std::string err = (m_root / "err.txt").string();
        const std::string command =
            std::string(ORVELLA_SETUP_PROGRAM) + " --headless " + job + " >" + out + " 2>" + err;
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(out),
                test::ReadFile(err)};
    }

    std::string m_nst;
};

TEST_F(HeadlessTest, ShowPrintsTheSettingsAsTheDialogLoadsThem) {
    WriteRegDword(1, kStreamingPathA);
    WriteRegString(kBeginFilterTimePathA, "0930");
    WriteRegString(kEndFilterTimePathA, "250000");  // no time of day: the default
    const ProgramRun run = Headless("show");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, std::string("Website=") + kDefaultWebsiteA +
                           "\nPort=80\nNovaScopeRoot=\nExtendedTrade=0\nStreaming=1\n"
                           "BeginFilterTime=09:30:00\nEndFilterTime=23:59:59\nContinuous=0\n"
                           "MeridexSpot=0\nMeridexSpotComposite=0\nLogging=0\n");
    EXPECT_EQ(Headless("dance").exitCode, 2);
}

TEST_F(HeadlessTest, BuildLstPrintsTheStatusLinesAndExitsWithTheOutcome) {
    WriteRegString(kWebsitePathA, "h.example/mktlist_v2.txt");
    ProgramRun run = Headless("build-lst");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("OrvellaNSTSetup: Is not a valid directory!"), std::string::npos);

    WriteRegString(kNovaScopeRootPathA, m_nst);
    run = Headless("build-lst");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out,
              "Beginning to process the symbol file!\n"
              "File could not be opened 2; No such file or directory\n");

    test::WriteFile(m_nst + "/mktlist_v2.txt", "head\r\nA\tB\tNYSE\t\tEQUITY\t\r\n");
    run = Headless("build-lst");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out,
              "Beginning to process the symbol file!\n"
              "We have read in 25 bytes in from the symbol file.\n"
              "We finished building the Novascope LST files!\n");
    EXPECT_EQ(run.err, "progress 10\nprogress 20\nprogress 0\n");
    EXPECT_EQ(test::ReadFile(m_nst + "/Servers/OrvellaForNST/NYSE_STOCK.LST"), "A,\"B\"\r\n");
}

TEST_F(HeadlessTest, DownloadExitsWithTheOutcome) {
    test::CHttpTestServer server;
    server.Route("/mktlist_v2.txt", {200, "OK", {}, "head\r\n"});
    WriteRegString(kNovaScopeRootPathA, m_nst);
    WriteRegDword(server.Port(), kPortPathA);
    WriteRegString(kWebsitePathA, "127.0.0.1/mktlist_v2.txt");
    ProgramRun run = Headless("download");
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(test::ReadFile(m_nst + "/mktlist_v2.txt"), "head\r\n");
    EXPECT_NE(run.out.find("\nTotal Bytes received 6\n"), std::string::npos);
    EXPECT_NE(run.out.find("\nStatus Code 200 was returned.\nDownload of symbol file is "
                           "complete....\n"),
              std::string::npos);

    WriteRegString(kWebsitePathA, "127.0.0.1/missing.txt");
    run = Headless("download");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("Status Code 404 was returned."), std::string::npos);
}

TEST(VersionText, ReadsTheProgramsVersionBlock) {
    EXPECT_EQ(GetFileVersionText(L"" ORVELLA_SETUP_PROGRAM_W), ORVELLA_VERSION);
    EXPECT_EQ(GetFileVersionText(L"/nonexistent/OrvellaNSTSetup.exe"), "Unknown");
}

}  // namespace
}  // namespace orvella
