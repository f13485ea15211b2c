// Field access for level-one lines: splitting at commas and reading the
// numbers, times and dates that summary and update lines carry. Pure
// functions over views of the line; nothing here allocates.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace orvella {

inline constexpr std::size_t kLevelOneFieldCount = 62;

// The 62 fields of a line, index 0 to 61, as views into the line. A field
// that the line does not reach is empty.
using CLineFields = std::array<std::wstring_view, kLevelOneFieldCount>;

// Cuts line at every comma: field n is the text between the n-th and the
// (n+1)-th comma, the last field runs to the end of the line. Fields beyond
// index 61 are dropped. The views stay valid as long as the line's text.
CLineFields SplitFields(std::wstring_view line);

// The field read as a decimal number with a point (leading blanks and a sign
// allowed, then the longest number prefix); an empty field or one without a
// number reads as 0.
double ReadFieldNumber(std::wstring_view field);

// The characters [pos, pos + count) of field, cut to the field's length,
// read as a decimal integer of their leading digits; no digit gives 0.
int ReadFieldDigits(std::wstring_view field, std::size_t pos, std::size_t count);

// Calendar parts of a line's time field (HH?MM?SS) and date field
// (MM?DD?YYYY); the separators are not examined.
struct CLineDateTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
};
CLineDateTime ReadLineDateTime(std::wstring_view timeField, std::wstring_view dateField);

// The first character of field that is t or T, or 0 when there is none.
wchar_t FindTradeMarker(std::wstring_view field);

// The second field of a system line: from character 2, empty fields skipped,
// up to the next comma.
std::wstring_view SystemLineField(std::wstring_view line);

}  // namespace orvella
