// Every program answers --help on standard output and --version, and refuses
// an unknown option with its usage on standard error and exit status 2.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct ProgramRun {
    int exitCode;
    std::string out;
    std::string err;
};

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

ProgramRun RunProgram(const std::string& program, const std::string& argument) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    const std::string stem = "command_line_test_" + std::to_string(::getpid());
    const std::filesystem::path out = dir / (stem + ".out");
    const std::filesystem::path err = dir / (stem + ".err");
    // No display: a program that opened a window would end at once.
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=none '" +
                                program + "' " + argument + " </dev/null >" + out.string() + " 2>" +
                                err.string();
    const int status = std::system(command.c_str());
    ProgramRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}

struct Program {
    std::string name;  // as it names itself
    std::string path;
};

// The programs of this build, one "name path" line each (the path may hold
// spaces, the name does not).
std::vector<Program> BuiltPrograms() {
    std::vector<Program> programs;
    std::istringstream lines(Slurp(ORVELLA_PROGRAM_LIST));
    for (std::string line; std::getline(lines, line);) {
        const size_t space = line.find(' ');
        if (space != std::string::npos) {
            programs.push_back({line.substr(0, space), line.substr(space + 1)});
        }
    }
    return programs;
}

TEST(CommandLine, EveryProgramAnswersHelpVersionAndRefusesUnknownOptions) {
    const std::vector<Program> programs = BuiltPrograms();
    ASSERT_GE(programs.size(), 4u) << "the program list " << ORVELLA_PROGRAM_LIST;
    for (const Program& program : programs) {
        SCOPED_TRACE(program.name);
        ASSERT_TRUE(std::filesystem::exists(program.path)) << program.path << " was not built";
        const ProgramRun help = RunProgram(program.path, "--help");
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_NE(help.out.find("sage"), std::string::npos) << help.out;
        EXPECT_EQ(help.err, "");

        const ProgramRun version = RunProgram(program.path, "--version");
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.out.rfind(program.name, 0), 0u) << version.out;
        EXPECT_NE(version.out.find_first_of("0123456789"), std::string::npos) << version.out;
        EXPECT_EQ(version.err, "");

        const ProgramRun bogus = RunProgram(program.path, "--bogus");
        EXPECT_EQ(bogus.exitCode, 2);
        EXPECT_EQ(bogus.out, "");
        EXPECT_NE(bogus.err.find("--bogus"), std::string::npos) << bogus.err;
        EXPECT_NE(bogus.err.find("sage"), std::string::npos) << bogus.err;
        // Nothing was made of the option, such as a file by its name.
        EXPECT_FALSE(std::filesystem::exists("--bogus"));
    }
}

}  // namespace
