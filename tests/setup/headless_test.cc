// The program itself in its headless mode, with the settings in a fresh
// registry: what it prints and how it exits.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "settings/filter_time.h"
#include "settings/registry_access.h"
#include "settings/settings_keys.h"
#include "setup/version_text.h"
#include "testing/process.h"
#include "testing/setup/fake_settings_store.h"
#include "testing/setup/http_test_server.h"
#include "tests/setup/setup_env.h"

namespace orvella {
namespace {

struct ProgramRun {
    int exitCode;
    std::string out;
    std::string err;
};

class HeadlessTest : public testing::SetupEnvTest {
  protected:
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

    // The settings point at a download of size bytes that the server sends
    // in pieces of step bytes, delayMs apart.
    test::CHttpTestServer::Response RouteSlowDownload(test::CHttpTestServer* server, size_t size,
                                                      size_t step, int delayMs) {
        // Lines of 99 letters, the last one whole.
        std::string body(size, 'x');
        for (size_t end = 99; end < size; end += 100)
            body[end] = '\n';
        body.back() = '\n';
        test::CHttpTestServer::Response slow{200, "OK", {}, body};
        slow.stepBytes = step;
        slow.stepDelayMs = delayMs;
        server->Route("/mktlist_v2.txt", slow);
        WriteRegString(kNovaScopeRootPathA, m_nst);
        WriteRegDword(server->Port(), kPortPathA);
        WriteRegString(kWebsitePathA, "127.0.0.1/mktlist_v2.txt");
        return slow;
    }
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
                           "MeridexSpot=0\nMeridexSpotComposite=0\nLogging=0\nReconnect=1\n");
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
    // Not a terminal: no progress line, nothing on standard error.
    EXPECT_EQ(run.err, "");
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
        {"--bogus", 2, "", "OrvellaNSTSetup: unknown option --bogus\nUsage: OrvellaNSTSetup "},
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

// The dialog lives in a module that only the dialog's path loads: without a
// display the toolkit it brings up refuses to start, which shows the module
// was found and loaded.
TEST_F(HeadlessTest, TheDialogsPathLoadsTheDialogModule) {
    const ProgramRun run = Program("");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(run.err.find("the dialog cannot start"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("platform plugin"), std::string::npos) << run.err;
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

    EXPECT_EQ(run.err, "");

    // A failure says why on standard error too.
    WriteRegString(kWebsitePathA, "127.0.0.1/missing.txt");
    run = Headless("download");
    EXPECT_EQ(run.exitCode, 1);
    const std::string failed =
        "Download of symbol file failed: the server answered with status "
        "404; the symbol file was left as it was.\n";
    EXPECT_NE(run.out.find("Status Code 404 was returned.\n" + failed), std::string::npos)
        << run.out;
    EXPECT_EQ(run.err, "OrvellaNSTSetup: " + failed);
    EXPECT_EQ(run.out.find("dwInternetStatus"), std::string::npos) << run.out;
}

// Runs the program on a pseudo-terminal; everything it wrote there.
std::string RunOnTerminal(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(terminal, buffer, sizeof(buffer))) > 0;)
        text.append(buffer, static_cast<size_t>(got));
    ::close(terminal);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << text;
    return text;
}

TEST_F(HeadlessTest, AProgressLineOnlyOnATerminal) {
    test::CHttpTestServer server;
    const auto slow = RouteSlowDownload(&server, 400000, 100000, 300);

    // A file or a pipe: the status lines alone, nothing on standard error.
    const ProgramRun logged = Headless("download");
    EXPECT_EQ(logged.exitCode, 0);
    EXPECT_EQ(logged.err, "");
    EXPECT_EQ(logged.out.find('\r'), std::string::npos);
    EXPECT_EQ(logged.out.find('%'), std::string::npos);

    EXPECT_EQ(testing::CountOf(logged.out, "\nTotal Bytes received "), 4u) << logged.out;

    // A terminal: the byte count and the share, bytes, rate and time left
    // redrawn in place on one line; the last count stays once the next
    // status line comes.
    const std::string shown = RunOnTerminal({ORVELLA_SETUP_PROGRAM, "--headless", "download"});
    EXPECT_NE(shown.find("\r\x1b[KTotal Bytes received 131071  "), std::string::npos) << shown;
    EXPECT_EQ(shown.find("Total Bytes received 131071\r\n"), std::string::npos) << shown;
    EXPECT_EQ(testing::CountOf(shown, "\r\x1b[KTotal Bytes received 400000\r\n"), 1u) << shown;
    EXPECT_NE(shown.find(" KB/s, "), std::string::npos) << shown;
    EXPECT_NE(shown.find(" s left"), std::string::npos) << shown;
    EXPECT_NE(shown.find("100% 390.6 KB of 390.6 KB, "), std::string::npos) << shown;
    EXPECT_NE(shown.find("\r\nStatus Code 200 was returned.\r\n"), std::string::npos) << shown;
    EXPECT_EQ(test::ReadFile(m_nst + "/mktlist_v2.txt"), slow.body);
}

TEST_F(HeadlessTest, CtrlCCancelsTheDownloadCleanly) {
    test::CHttpTestServer server;
    RouteSlowDownload(&server, 1000000, 140000, 300);
    const std::string symbolFile = m_nst + "/mktlist_v2.txt";
    test::WriteFile(symbolFile, "the symbol file of yesterday\r\n");

    const std::string output = (m_root / "output.txt").string();
    const pid_t pid = testing::Spawn({ORVELLA_SETUP_PROGRAM, "--headless", "download"}, output);
    ASSERT_GT(pid, 0);
    // Interrupted once part of the body has been written.
    for (int i = 0; i < 2000 && testing::ReadWholeFile(symbolFile + ".part").empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGINT);
    EXPECT_EQ(testing::WaitExit(pid, 30000), 1);
    const std::string out = testing::ReadWholeFile(output);
    EXPECT_NE(out.find("\nThe download was cancelled after "), std::string::npos) << out;
    EXPECT_NE(out.find(" bytes; the symbol file was left as it was.\nStatus Code 0 was returned."
                       "\nDownload of symbol file cancelled; the symbol file was left as it "
                       "was.\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("Total Bytes received 1000000"), std::string::npos) << out;
    EXPECT_EQ(test::ReadFile(symbolFile), "the symbol file of yesterday\r\n");
    EXPECT_FALSE(std::filesystem::exists(symbolFile + ".part"));
}

TEST(VersionText, ReadsTheProgramsVersionBlock) {
    EXPECT_EQ(GetFileVersionText(L"" ORVELLA_SETUP_PROGRAM_W), ORVELLA_VERSION);
    EXPECT_EQ(GetFileVersionText(L"/nonexistent/OrvellaNSTSetup.exe"), "Unknown");
}

}  // namespace
}  // namespace orvella
