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

TEST(CommandLine, EveryProgramAnswersHelpVersionAndRefusesUnknownOptions) {
    struct Program {
        const char* name;  // as it names itself
        const char* path;
    } programs[] = {
        {"OrvellaNSTSetup", ORVELLA_PROGRAM_ORVELLANSTSETUP},
        {"orvella-reg", ORVELLA_PROGRAM_ORVELLA_REG},
        {"nst-host", ORVELLA_PROGRAM_NST_HOST},
        {"orvella-feed-sim", ORVELLA_PROGRAM_ORVELLA_FEED_SIM},
        {"Orvalink.exe", ORVELLA_PROGRAM_ORVELLA_LAUNCHER},
        {"gen_symbol_file", ORVELLA_PROGRAM_GEN_SYMBOL_FILE},
        {"setup_bench", ORVELLA_PROGRAM_SETUP_BENCH},
        {"history_parse_bench", ORVELLA_PROGRAM_HISTORY_PARSE_BENCH},
        {"history_e2e_bench", ORVELLA_PROGRAM_HISTORY_E2E_BENCH},
        {"held_lines_bench", ORVELLA_PROGRAM_HELD_LINES_BENCH},
        {"levelone_bench", ORVELLA_PROGRAM_LEVELONE_BENCH},
        {"levelone_stream_bench", ORVELLA_PROGRAM_LEVELONE_STREAM_BENCH},
        {"levelone_host_bench", ORVELLA_PROGRAM_LEVELONE_HOST_BENCH},
        {"levelone_e2e_bench", ORVELLA_PROGRAM_LEVELONE_E2E_BENCH},
        {"chart_bench", ORVELLA_PROGRAM_CHART_BENCH},
    };
    int tried = 0;
    for (const Program& program : programs) {
        if (program.path[0] == '\0')
            continue;
        ++tried;
        SCOPED_TRACE(program.name);
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
    EXPECT_GE(tried, 3);
}

}  // namespace
