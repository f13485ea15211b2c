// Update lines as the feed client sends them (62 fields), for the level-one
// benchmarks.
#pragma once

#include <string>

namespace orvella {

inline constexpr int kBenchSymbols = 500;

// The name of watched symbol i (0 <= i < kBenchSymbols).
std::string BenchSymbol(int i);

// One update line with a trade for symbol i, ended by CR LF. seq varies the
// prices and sizes.
std::string BenchUpdateLine(int i, int seq);

// count lines, cycling through the symbols.
std::string BenchUpdateStream(int count);

}  // namespace orvella
