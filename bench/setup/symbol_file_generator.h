// Writes a symbol file shaped like the vendor's: a header and then lines of
// eight tab-separated columns in symbol order, mostly stock options grouped
// by underlying, with equities, indexes, futures, future options, mutual
// funds and spot currencies between them.
#pragma once

#include <cstdint>
#include <string>

namespace orvella::bench {

// Writes lines data lines (plus the header) to path; returns the file's size
// in bytes, or 0 when it could not be written. The same seed gives the same
// file.
uint64_t GenerateSymbolFile(const std::string& path, uint64_t lines, uint32_t seed = 1);

}  // namespace orvella::bench
