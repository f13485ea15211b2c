// Field splitting, number and date reading for the lines of a lookup reply.
// Everything works on views of the caller's text and never allocates; the
// field reader only keeps its place in the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "plugin/boundary/feed_text.h"
#include "plugin/boundary/host_date.h"

namespace orvella {

// Reads the plain number that begins at at: an optional minus, at most 15
// digits with at most one point, ended by a comma. Its digits are looked at
// without a bounds check, so the text must go on past them with a character
// that is neither a digit nor a point (every reply line ends with its line
// feed). Where its comma is, with *value set; nullptr for any other field.
// An exact integer divided by an exact power of ten rounds like the full
// conversion (ReadFiniteNumber).
inline const wchar_t* ReadPlainNumber(const wchar_t* at, double* value) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    // Adds the digits from at on to *mantissa (wrapping past 19 digits,
    // which the caller rejects); where the first other character is.
    const auto addDigits = [](const wchar_t* from, uint64_t* mantissa) {
        uint64_t sum = *mantissa;
        for (unsigned digit; (digit = static_cast<unsigned>(*from) - L'0') <= 9; ++from) {
            sum = sum * 10 + digit;
        }
        *mantissa = sum;
        return from;
    };
    const bool negative = *at == L'-';
    at += negative ? 1 : 0;
    // The whole digits, then after a point the fraction's: one test per
    // digit, no flag carried through the loop.
    uint64_t mantissa = 0;
    const wchar_t* const whole = at;
    at = addDigits(at, &mantissa);
    int digits = static_cast<int>(at - whole);
    int fraction = 0;
    if (*at == L'.') {
        const wchar_t* const point = ++at;
        at = addDigits(at, &mantissa);
        fraction = static_cast<int>(at - point);
        digits += fraction;
    }
    // One test for 1 to 15 digits; so many fit a signed integer, whose
    // conversion needs no test of the top bit.
    if (*at != L',' || static_cast<unsigned>(digits - 1) > 14) {
        return nullptr;
    }
    const double magnitude =
        static_cast<double>(static_cast<int64_t>(mantissa)) / kPowersOfTen[fraction];
    *value = negative ? -magnitude : magnitude;
    return at;
}

// Reads the comma-separated fields of one line in order, from its start on.
// A field is a run of characters other than the comma, so a run of commas is
// one separator and no field is empty. Each character is looked at once: a
// field read as a number is converted while its end is searched for. The
// line's last character must be neither a digit nor a point (a reply line
// ends with its line feed): the digits are read without bounds checks.
class CFieldReader {
  public:
    explicit CFieldReader(std::wstring_view line)
        : m_at(line.data()), m_end(line.data() + line.size()) {}

    // The next field into *field; false (and *field empty) at the end of the
    // line.
    bool Next(std::wstring_view* field) {
        if (!SkipSeparators()) {
            *field = std::wstring_view();
            return false;
        }
        const wchar_t* const start = m_at;
        m_at = FieldEnd(start);
        *field = std::wstring_view(start, static_cast<size_t>(m_at - start));
        return true;
    }

    // Passes over the next field; false at the end of the line.
    bool Skip() {
        if (!SkipSeparators()) {
            return false;
        }
        m_at = FieldEnd(m_at);
        return true;
    }

    // The next field read as one finite number, with the result of
    // ReadFiniteNumber (feed_text.h) on it in *read; false (and *read false)
    // at the end of the line.
    bool NextNumber(double* value, bool* read) {
        if (!SkipSeparators()) {
            *read = false;
            return false;
        }
        // The plain price or size is converted here; anything else, or a
        // field that does not end at a comma, goes to ReadFiniteNumber whole.
        if (const wchar_t* const comma = ReadPlainNumber(m_at, value)) {
            m_at = comma;
            *read = true;
            return true;
        }
        *read = ReadWholeField(m_at, value);
        return true;
    }

  private:
    // Moves past commas; false when the line ends there. Fields are nearly
    // always apart by one comma: the loop is rarely entered.
    bool SkipSeparators() {
        if (m_at == m_end) {
            return false;
        }
        while (*m_at == L',') {
            if (++m_at == m_end) {
                return false;
            }
        }
        return true;
    }

    // The field from start on read by ReadFiniteNumber; the reader moves to
    // its end. Out of line, so that the usual number's path stays short.
    bool ReadWholeField(const wchar_t* start, double* value);

    // Where the field running at from ends: its comma or the line's end.
    const wchar_t* FieldEnd(const wchar_t* from) const;

    const wchar_t* m_at;
    const wchar_t* m_end;
};

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

// Reads date fields with their time "YYYY-MM-DD HH:MM:SS" as
// ReadDateFieldParts (with the time) and DateFromParts do, the date part only
// when it differs from the last field's: the lines of a reply are nearly all
// of the day before them.
class CLineDay {
  public:
    // False when the field's parts cannot be read; otherwise *parts has them
    // and *when their moment (invalid when it names none).
    bool Read(std::wstring_view text, CDateFieldParts* parts, HostDate* when);

  private:
    // "YYYY-MM-DD" and the character after it, which must be no digit.
    static constexpr size_t kDayChars = 11;
    wchar_t m_text[kDayChars] = {};
    bool m_bKnown = false;
    CDateFieldParts m_day;
    HostDate m_midnight;
};

// A reply line's date field is at least "YYYY-MM-DD".
inline constexpr size_t kShortestDateField = 10;

// The date field: the first field, or the second after a leading field
// without a '-' (such as a request identifier). False when the line ends
// before it.
bool NextDateField(CFieldReader& fields, std::wstring_view* date);

// The fields of a tick line that the parser uses: F1 trade price, F2 trade
// size, F3 the day's volume after the trade, F4 and F7 tick-type-2 price and
// size, F5 and F8 tick-type-4 price and size, F9 the trade's conditions (the
// last field, which may be missing).
struct CTickFields {
    std::wstring_view date;
    double price = 0, size = 0, dayVolume = 0;
    double type2Price = 0, type4Price = 0, type2Size = 0, type4Size = 0;
    // Each of the six values that can reach the host is a finite number.
    bool numbersRead = false;
    // The day's volume, which only tells trades apart, is one.
    bool dayVolumeRead = false;
    // F9 holds an 'E': an extended trade.
    bool extended = false;
};

// Cuts a tick line (ending with its line feed) into *fields with a
// CFieldReader. False when the line has too few fields or a date field
// shorter than kShortestDateField.
bool CutTickLine(std::wstring_view line, CTickFields* fields);

// Reads the tick line that begins at at in its usual layout
// "YYYY-MM-DD HH:MM:SS,F1,...,F8,F9" in one pass, the fields' ends found
// while their digits are read. The text must hold a line feed before
// textEnd. Only a line that CutTickLine cuts alike, whose seven numbers are
// plain (ReadPlainNumber), whose date reads to a valid moment, which holds
// no zero byte and no '!' (the end message's mark) and which has at most
// kMaxFeedLineChars characters before its line feed is taken: it returns
// the line's end (past its line feed) with *fields, *parts and *when as
// CutTickLine and day->Read give them. Any other line gives nullptr, and the caller reads it
// the general way; day may then have taken the line's day.
const wchar_t* ReadUsualTickLine(const wchar_t* at, const wchar_t* textEnd, CLineDay* day,
                                 CTickFields* fields, CDateFieldParts* parts, HostDate* when);

// The date and time of a field "YYYY-MM-DD HH:MM:SS" as a host date. The
// status is invalid when the field cannot be read or names no real moment.
HostDate ParseDateTimeField(std::wstring_view text);

// The date of a field "YYYY-MM-DD" (time 00:00:00) as a host date.
HostDate ParseDateField(std::wstring_view text);

}  // namespace orvella
