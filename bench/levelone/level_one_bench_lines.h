// Update lines as the feed client sends them (62 fields), for the level-one
// benchmarks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvella {

// The watch list of the benchmarks' usual case, and of a whole symbol list.
inline constexpr int kBenchSymbols = 500;
inline constexpr int kBenchSymbolsLarge = 5000;

// The name of watched symbol i ("SYM000" on).
std::string BenchSymbol(int i);

// One update line with a trade for symbol i, ended by CR LF. seq varies the
// prices and sizes.
std::string BenchUpdateLine(int i, int seq);

// count lines, cycling through the first symbols symbols.
std::string BenchUpdateStream(int count, int symbols = kBenchSymbols);

// The split-only baseline of the level-one benchmarks: one line split into
// its 62 fields, each in fresh storage, as a plain reader would.
std::vector<std::string> SplitOnly(std::string_view line);

// Splits every complete line of text with SplitOnly and hands its fields to
// onFields; returns the bytes used (an unfinished last line is left).
template <typename OnFields>
std::size_t SplitOnlyLines(std::string_view text, OnFields&& onFields) {
    std::size_t from = 0;
    for (std::size_t feed; (feed = text.find('\n', from)) != std::string_view::npos;
         from = feed + 1) {
        onFields(SplitOnly(text.substr(from, feed - from)));
    }
    return from;
}

}  // namespace orvella
