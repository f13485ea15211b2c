// Reading what the feed client sends, and checking what the host hands over
// before it goes into the line protocol. Pure functions over views; nothing
// here allocates on the common path.
#pragma once

#include <cstddef>
#include <cstdint>
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

// The common price or size, in wide text or in received bytes: an optional
// minus, at most 15 digits with an optional point and nothing else. Such a
// value is exact as an integer, and one division by an exact power of ten
// rounds it correctly, so the result equals ReadFiniteNumber's. False for
// anything else. The digits before and after the point are read in a loop
// each.
template <typename TChar>
bool ReadPlainDecimal(std::basic_string_view<TChar> text, double* value) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const auto isDigit = [](TChar c) { return static_cast<uint32_t>(c) - uint32_t{'0'} <= 9; };
    const std::size_t size = text.size();
    const bool negative = size != 0 && text[0] == TChar('-');
    std::size_t at = negative ? 1 : 0;
    const std::size_t whole = at;
    uint64_t mantissa = 0;
    for (; at < size && isDigit(text[at]); ++at) {
        mantissa = mantissa * 10 + static_cast<uint64_t>(text[at] - TChar('0'));
    }
    std::size_t digits = at - whole;
    std::size_t fraction = 0;
    if (at < size && text[at] == TChar('.')) {
        const std::size_t point = ++at;
        for (; at < size && isDigit(text[at]); ++at) {
            mantissa = mantissa * 10 + static_cast<uint64_t>(text[at] - TChar('0'));
        }
        fraction = at - point;
        digits += fraction;
    }
    if (at != size || digits == 0 || digits > 15) {
        return false;
    }
    const double magnitude = static_cast<double>(mantissa) / kPowersOfTen[fraction];
    *value = negative ? -magnitude : magnitude;
    return true;
}

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
