// The check that a log holds given lines in a given order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orvella::testing {

// Looks for each of lines in text, from where the line before it was found.
// Returns what is wrong, "missing: <line>" for the first line not found or,
// with once, "logged twice: <line>" for a line found again later; an empty
// text when all lines follow each other. *lastAt, when given, is where the
// last line found starts.
std::string LinesOutOfOrder(std::string_view text, const std::vector<std::string>& lines,
                            bool once = false, size_t* lastAt = nullptr);

}  // namespace orvella::testing
