#include "platform/shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/timer_queue.h"

namespace platform {
namespace {

// A folder put in front of PATH holding a script that writes its arguments,
// one a line, and whether it leads its own session, to $ARGV_OUT.
class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvella-shell-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_folder = pattern;
        m_output = m_folder + "/argv.txt";
        WriteFile("argv-writer",
                  "#!/bin/sh\n"
                  "read -r pid comm state ppid pgrp session rest < /proc/$$/stat\n"
                  "{ for a in \"$@\"; do printf '%s\\n' \"$a\"; done\n"
                  "  [ \"$session\" = \"$$\" ] && echo session-leader; } > \"$ARGV_OUT.tmp\"\n"
                  "mv \"$ARGV_OUT.tmp\" \"$ARGV_OUT\"\n",
                  0755);
        WriteFile("not-executable", "#!/bin/sh\n", 0644);
        m_oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", (m_folder + ":" + m_oldPath).c_str(), 1);
        setenv("ARGV_OUT", m_output.c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", m_oldPath.c_str(), 1);
        unsetenv("ARGV_OUT");
        std::system(("rm -rf '" + m_folder + "'").c_str());
    }

    void WriteFile(const std::string& name, const std::string& text, mode_t mode) {
        const std::string path = m_folder + "/" + name;
        std::ofstream(path) << text;
        chmod(path.c_str(), mode);
    }

    // The lines the script wrote, waiting up to five seconds for them.
    std::vector<std::string> Output() {
        for (int i = 0; i < 500 && access(m_output.c_str(), F_OK) != 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::ifstream in(m_output);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    std::string m_folder;
    std::string m_output;
    std::string m_oldPath;
};

TEST_F(ShellTest, StartsAProgramOnThePathWithEachArgumentWhole) {
    const std::vector<std::string> args = {"-product",          "NOVASCOPE_TRADER", "-login",
                                           "user with  blanks", "-password",        "p;$HOME *"};
    const ShellResult result = ShellExecute("argv-writer", args);
    EXPECT_GT(result.instance, 32);
    EXPECT_EQ(result.errorCode, 0);
    std::vector<std::string> expected = args;
    expected.push_back("session-leader");
    EXPECT_EQ(Output(), expected);
    // Started detached: nothing is left for this process to reap.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(ShellTest, APathNameIsTakenAsIs) {
    const ShellResult result = ShellExecute(m_folder + "/argv-writer", {"-x"});
    EXPECT_GT(result.instance, 32);
    EXPECT_EQ(Output(), (std::vector<std::string>{"-x", "session-leader"}));
}

TEST_F(ShellTest, FailuresReportTheShellsSmallNumbers) {
    struct Case {
        std::string file;
        int code;
    } cases[] = {
        {"no-such-program-here", 2},
        {"", 2},
        {"/nonexistent/folder/argv-writer", 2},
        {"not-executable", 5},
    };
    for (const Case& c : cases) {
        SetLastPlatformError(0);
        const ShellResult result = ShellExecute(c.file, {"-a"});
        EXPECT_EQ(result.instance, c.code) << c.file;
        EXPECT_EQ(result.errorCode, c.code) << c.file;
        EXPECT_EQ(LastPlatformError(), c.code) << c.file;
    }
}

}  // namespace
}  // namespace platform
