// The command-line conventions every program of the project follows:
// "--help" (or "-h") prints the usage on standard output and exits 0,
// "--version" prints the program's name and version and exits 0, and an
// unknown option says so and prints the usage on standard error, exit 2.
#pragma once

#include <cctype>
#include <cstdio>
#include <string_view>

namespace orvella::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitUnknownOption = 2;

struct CProgram {
    const char* name;   // as the program calls itself in messages
    const char* usage;  // the whole usage text, ending with a line feed
    const char* version = ORVELLA_PROJECT_VERSION;
};

// Whether arg looks like an option rather than an operand ("-" alone is an
// operand: standard input).
inline bool IsOption(std::string_view arg) {
    return arg.size() > 1 && arg[0] == '-';
}

// Answers "--help", "-h" and "--version"; returns the exit code then, -1 for
// any other argument.
inline int AnswerStandardOption(const CProgram& program, std::string_view arg) {
    if (arg == "--help" || arg == "-h") {
        std::fputs(program.usage, stdout);
        return kExitDone;
    }
    if (arg == "--version") {
        std::printf("%s %s\n", program.name, program.version);
        return kExitDone;
    }
    return -1;
}

// Refuses an option the program does not know: a line that names it and the
// usage, on standard error. Returns the exit code.
inline int RefuseOption(const CProgram& program, std::string_view arg) {
    std::fprintf(stderr, "%s: unknown option %.*s\n%s", program.name, static_cast<int>(arg.size()),
                 arg.data(), program.usage);
    return kExitUnknownOption;
}

// For a program whose operands are all numbers: answers the standard options
// and refuses any other argument that does not begin with a digit. Returns
// the exit code then, -1 when the program goes on.
inline int AnswerNumberOperands(const CProgram& program, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (const int code = AnswerStandardOption(program, argv[i]); code >= 0)
            return code;
        if (!std::isdigit(static_cast<unsigned char>(argv[i][0])))
            return RefuseOption(program, argv[i]);
    }
    return -1;
}

// For a Google Benchmark program: answers the standard options and refuses
// any argument other than the library's own "--benchmark_" options. Returns
// the exit code then, -1 when the program goes on.
inline int AnswerBenchmarkOptions(const CProgram& program, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (const int code = AnswerStandardOption(program, argv[i]); code >= 0)
            return code;
        if (std::string_view(argv[i]).rfind("--benchmark_", 0) != 0)
            return RefuseOption(program, argv[i]);
    }
    return -1;
}

}  // namespace orvella::cli
