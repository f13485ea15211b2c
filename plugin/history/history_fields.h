// Field splitting and value reading for the lines of a lookup reply. All
// functions work on views of the caller's text, never allocate on the common
// path and keep no state.
#pragma once

#include <cstddef>
#include <string_view>

#include "plugin/boundary/host_date.h"

namespace orvella {

// Position value meaning "the end of the line was reached".
inline constexpr std::ptrdiff_t kEndOfLine = -1;

// Reads the next comma-separated field of line from *position on. Commas
// before the field are skipped, so a run of commas is one separator and an
// empty field is only returned at the end. Returns the field and sets
// *position one past the comma that ended it (or one past the end of the
// line); at the end of the line returns an empty field and sets *position to
// kEndOfLine. A *position of kEndOfLine (or any negative value) on entry
// throws std::invalid_argument.
std::wstring_view SplitNextField(std::wstring_view line, std::ptrdiff_t* position);

// Reads a decimal integer the way a decimal text prefix is read: leading
// blanks, an optional sign, then digits up to the first non-digit. No digits
// give 0. Saturates instead of overflowing.
int ReadDecimalInteger(std::wstring_view text);

// Reads a decimal number: leading blanks, an optional sign, digits with an
// optional decimal point and exponent, stopping at the first character that
// cannot continue the number. No number gives 0.0; a magnitude beyond the
// double range gives +-HUGE_VAL, one below it 0.0 (strtod semantics).
double ReadDecimalNumber(std::wstring_view text);

// The calendar parts of a date field "YYYY-MM-DD HH:MM:SS": year from
// characters 0-3, month 5-6, day 8-9, hour 11-12, minute 14-15, second 17-18,
// each read with ReadDecimalInteger; characters beyond the end of the text are
// missing and give 0. Anything after character 18 is ignored.
struct CDateFieldParts {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
};
CDateFieldParts ReadDateFieldParts(std::wstring_view text);

// The date and time of a field "YYYY-MM-DD HH:MM:SS" as a host date. The
// status is invalid when the parts name no real moment.
HostDate ParseDateTimeField(std::wstring_view text);

// The date of a field "YYYY-MM-DD" (time 00:00:00) as a host date.
HostDate ParseDateField(std::wstring_view text);

}  // namespace orvella
