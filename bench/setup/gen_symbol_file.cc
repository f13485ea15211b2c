// gen_symbol_file PATH [LINES]: writes a generated symbol file (default
// 1,600,000 data lines).
#include <cstdio>
#include <cstdlib>

#include "bench/setup/symbol_file_generator.h"
#include "cli/command_line.h"

namespace {

constexpr char kUsage[] =
    "Usage: gen_symbol_file PATH [LINES]\n"
    "Writes a generated symbol file of LINES data lines (default 1600000) to PATH.\n";

}  // namespace

int main(int argc, char** argv) {
    const orvella::cli::CProgram program{"gen_symbol_file", kUsage};
    for (int i = 1; i < argc; ++i) {
        if (const int code = orvella::cli::AnswerStandardOption(program, argv[i]); code >= 0)
            return code;
        if (orvella::cli::IsOption(argv[i]))
            return orvella::cli::RefuseOption(program, argv[i]);
    }
    if (argc < 2 || argc > 3) {
        std::fputs(kUsage, stderr);
        return orvella::cli::kExitUnknownOption;
    }
    const uint64_t lines = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1600000;
    const uint64_t size = orvella::bench::GenerateSymbolFile(argv[1], lines);
    if (size == 0)
        return 1;
    std::printf("%s: %llu lines, %llu bytes\n", argv[1], static_cast<unsigned long long>(lines),
                static_cast<unsigned long long>(size));
    return 0;
}
