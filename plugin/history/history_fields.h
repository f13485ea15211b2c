// Field splitting and date reading for the lines of a lookup reply (numbers
// are read with ReadFiniteNumber, feed_text.h). All functions work on views of
// the caller's text, never allocate and keep no state.
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

// The calendar parts of a date field "YYYY-MM-DD HH:MM:SS": year from
// characters 0-3, month 5-6, day 8-9, hour 11-12, minute 14-15, second 17-18.
struct CDateFieldParts {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
};

// Reads the parts of a date field, the time parts only withTime (they stay 0
// otherwise). Each part must be exactly its digits: the separators are not
// examined, but they are no digits, so a five-digit year or a one-digit month
// fails. What follows the last part (fractions of seconds, a line end) is
// ignored when it does not begin with a digit. False when a part is missing
// or not all digits; the parts may then be partly written.
bool ReadDateFieldParts(std::wstring_view text, bool withTime, CDateFieldParts* parts);

// The date and time of a field "YYYY-MM-DD HH:MM:SS" as a host date. The
// status is invalid when the field cannot be read or names no real moment.
HostDate ParseDateTimeField(std::wstring_view text);

// The date of a field "YYYY-MM-DD" (time 00:00:00) as a host date.
HostDate ParseDateField(std::wstring_view text);

}  // namespace orvella
