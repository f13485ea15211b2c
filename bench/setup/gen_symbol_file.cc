// gen_symbol_file PATH [LINES]: writes a generated symbol file (default
// 1,600,000 data lines).
#include <cstdio>
#include <cstdlib>

#include "bench/setup/symbol_file_generator.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PATH [LINES]\n", argv[0]);
        return 2;
    }
    const uint64_t lines = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1600000;
    const uint64_t size = orvella::bench::GenerateSymbolFile(argv[1], lines);
    if (size == 0) return 1;
    std::printf("%s: %llu lines, %llu bytes\n", argv[1], static_cast<unsigned long long>(lines),
                static_cast<unsigned long long>(size));
    return 0;
}
