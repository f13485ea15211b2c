// The program itself in its headless mode, with the settings in a fresh
// registry: what it prints and how it exits.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/text.h"
#include "settings/filter_time.h"
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

    ProgramRun Headless(const std::string& job) { return Program("--headless " + job); }

    // No display: a program that opened its dialog would end at once.
    ProgramRun Program(const std::string& arguments) {
        const std::string out = (m_root / "out.txt").string();
        const std::string err = (m_root / "err.txt").string();
        const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=none " +
                                    std::string(ORVELLA_SETUP_PROGRAM) + " " + arguments + " >" +
                                    out + " 2>" + err;
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(out),
                test::ReadFile(err)};
    }

    std::string m_nst;
};

TEST_F(HeadlessTest, ShowPrintsTheSettingsAsTheDialogLoadsThem) {
    WriteRegDword(1, kStreamingPathA);
    WriteRegString(kBeginFilterTimePathA, "093000");
    WriteRegString(kEndFilterTimePathA, "250000");  // no time of day: the default
    const ProgramRun run = Headless("show");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, std::string("Website=") + kDefaultWebsiteA +
                           "\nPort=80\nNovaScopeRoot=\nExtendedTrade=0\nStreaming=1\n"
                           "BeginFilterTime=09:30:00\nEndFilterTime=23:59:59\nContinuous=0\n"
                           "MeridexSpot=0\nMeridexSpotComposite=0\nLogging=0\n");
    EXPECT_EQ(Headless("dance").exitCode, 2);
}

// A stored time is used only when it is six digits of a time of day, as the
// plug-in uses it (ReadFilterTime): otherwise both fall back to the default.
TEST_F(HeadlessTest, ShowTakesFilterTimesAsThePlugInDoes) {
    const char* stored[] = {"093000", "0930", "09:30:00", "0930\r\nX", "1a2b3c", "096000"};
    for (const char* text : stored) {
        WriteRegString(kBeginFilterTimePathA, text);
        const std::string used = platform::NarrowText(
            ReadFilterTime(platform::WidenText(kBeginFilterTimePathA), kDefaultBeginFilterTime));
        const std::string shown =
            used.substr(0, 2) + ":" + used.substr(2, 2) + ":" + used.substr(4, 2);
        const std::string out = Headless("show").out;
        EXPECT_NE(out.find("\nBeginFilterTime=" + shown + "\n"), std::string::npos) << text << "\n"
                                                                                    << out;
    }
}

TEST_F(HeadlessTest, ShowSaysWhenChangesCannotBeSaved) {
    const char* db = std::getenv("ORVELLA_REGISTRY");
    ASSERT_NE(db, nullptr);
    // Written by a process that then ends, so that the file is whole; then
    // made read-only.
    const pid_t child = fork();
    if (child == 0) {
        WriteRegDword(1, kStreamingPathA);
        std::exit(0);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    std::filesystem::permissions(db, std::filesystem::perms::owner_read);
    if (access(db, W_OK) == 0) {
        GTEST_SKIP() << "this user may write any file";
    }
    const ProgramRun run = Headless("show");
    std::filesystem::permissions(
        db, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("The settings store is read-only: changes cannot be saved.\n", 0), 0u)
        << run.out;
    EXPECT_NE(run.out.find("\nStreaming=1\n"), std::string::npos) << run.out;
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

    // Built, but a line was skipped.
    test::WriteFile(m_nst + "/mktlist_v2.txt",
                    std::string("head\r\nA\tB\0\tNYSE\t\tEQUITY\t\r\nC\tD\tNYSE\t\tEQUITY\t", 43));
    run = Headless("build-lst");
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out,
              "Beginning to process the symbol file!\n"
              "We have read in 43 bytes in from the symbol file.\n"
              "Line 2 of the symbol file was skipped: it holds a NUL byte.\n"
              "Malformed lines of the symbol file skipped: 1\n"
              "We finished building the Novascope LST files!\n");
    EXPECT_EQ(test::ReadFile(m_nst + "/Servers/OrvellaForNST/NYSE_STOCK.LST"), "C,\"D\"\r\n");
}

TEST_F(HeadlessTest, HelpAndVersionPrintAndExit) {
    struct Case {
        const char* arguments;
        int exitCode;
        std::string out;  // its beginning
        std::string err;  // its beginning
    } cases[] = {
        {"--help", 0, "Usage: OrvellaNSTSetup ", ""},
        {"-h", 0, "Usage: OrvellaNSTSetup ", ""},
        {"--version", 0, std::string("OrvellaNSTSetup Version ") + ORVELLA_VERSION + "\n", ""},
        {"--headless", 2, "", "Usage: OrvellaNSTSetup "},
        {"--headless show extra", 2, "", "Usage: OrvellaNSTSetup "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ProgramRun run = Program(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out.substr(0, c.out.size()), c.out);
        EXPECT_EQ(run.err.substr(0, c.err.size()), c.err);
        EXPECT_EQ(run.out.empty(), c.out.empty());
        EXPECT_EQ(run.err.empty(), c.err.empty()) << run.err;
    }
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
