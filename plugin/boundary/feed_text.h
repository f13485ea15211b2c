// Reading what the feed client sends, and checking what the host hands over
// before it goes into the line protocol. Pure functions over views; nothing
// here allocates on the common path.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvella {

// The longest line, in characters before its line feed, that the plug-in
// takes from any feed connection (lookup, level-one, admin). Real lines are a
// few hundred characters; a longer one is dropped as one malformed line, so
// a peer that never sends a line feed cannot grow the pending text without
// limit.
inline constexpr std::size_t kMaxFeedLineChars = 65536;

// Keeps what follows the complete lines taken from the front of *pending
// (they end before lineStart): the unfinished rest, unless it has grown past
// kMaxFeedLineChars or an over-long line is being skipped (*skipping), in
// which case it is dropped and the reader skips to the next line feed. True
// when a new over-long line began here (the caller counts it).
bool KeepUnfinishedLine(std::wstring* pending, std::size_t lineStart, bool* skipping);

// Reads a field that must hold one finite decimal number: blanks around it,
// an optional sign, digits with an optional point (at least one digit), an
// optional exponent. False, with *value untouched, for anything else: an
// empty field, trailing text ("12.5abc"), "nan", "inf", a magnitude the
// double range cannot hold ("1e400", "1e-400"), or a number of more than
// kMaxNumberChars characters (no price or size comes near that).
inline constexpr std::size_t kMaxNumberChars = 128;
bool ReadFiniteNumber(std::wstring_view field, double* value);

// Reads the count digits at pos of text as a decimal number. False unless
// they are all there and all digits, and the character after them (if any)
// is not a digit, so that a part is exactly its digits ("20245" is no
// four-digit year).
bool ReadExactDigits(std::wstring_view text, std::size_t pos, std::size_t count, int* value);

// True when the host's symbol may go into a request line: no control
// character (which would end the line or start another) and no comma (which
// would shift the fields).
bool IsRequestableSymbol(std::wstring_view symbol);

}  // namespace orvella
