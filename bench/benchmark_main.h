// The main function of the Google Benchmark programs, with the project's
// command-line conventions (cli/command_line.h) before the library's own.
#pragma once

#include <benchmark/benchmark.h>

#include "cli/command_line.h"

namespace orvella::bench {

inline int RunBenchmarkMain(const cli::CProgram& program, int argc, char** argv) {
    if (const int code = cli::AnswerBenchmarkOptions(program, argc, argv); code >= 0)
        return code;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace orvella::bench
