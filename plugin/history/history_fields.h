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

// Reads the comma-separated fields of one line in order, from its start on.
// A field is a run of characters other than the comma, so a run of commas is
// one separator and no field is empty. Each character is looked at once: a
// field read as a number is converted while its end is searched for.
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
        // The plain price or size ("-12.25", "300": a minus, at most 15
        // digits, one point) is converted here; an exact integer divided by
        // an exact power of ten rounds like the full conversion. Anything
        // else, or a field that does not end at a comma or the line's end,
        // goes to ReadFiniteNumber whole.
        static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                  1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const wchar_t* const start = m_at;
        const bool negative = *m_at == L'-';
        m_at += negative ? 1 : 0;
        // The whole digits, then after a point the fraction's: one test per
        // digit, no flag carried through the loop.
        uint64_t mantissa = 0;
        const wchar_t* const whole = m_at;
        m_at = AddDigits(m_at, &mantissa);
        int digits = static_cast<int>(m_at - whole);
        int fraction = 0;
        if (m_at != m_end && *m_at == L'.') {
            const wchar_t* const point = ++m_at;
            m_at = AddDigits(m_at, &mantissa);
            fraction = static_cast<int>(m_at - point);
            digits += fraction;
        }
        if ((m_at != m_end && *m_at != L',') || digits == 0 || digits > 15) {
            *read = ReadWholeField(start, value);
            return true;
        }
        const double magnitude = static_cast<double>(mantissa) / kPowersOfTen[fraction];
        *value = negative ? -magnitude : magnitude;
        *read = true;
        return true;
    }

  private:
    // Adds the digits from at on to *mantissa (wrapping past 19 digits, which
    // the caller rejects); where the first other character, or the line's
    // end, is.
    const wchar_t* AddDigits(const wchar_t* at, uint64_t* mantissa) const {
        uint64_t value = *mantissa;
        for (; at != m_end; ++at) {
            const unsigned digit = static_cast<unsigned>(*at) - L'0';
            if (digit > 9) {
                break;
            }
            value = value * 10 + digit;
        }
        *mantissa = value;
        return at;
    }

    // Moves past commas; false when the line ends there.
    bool SkipSeparators() {
        while (m_at != m_end && *m_at == L',') {
            ++m_at;
        }
        return m_at != m_end;
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

// The date and time of a field "YYYY-MM-DD HH:MM:SS" as a host date. The
// status is invalid when the field cannot be read or names no real moment.
HostDate ParseDateTimeField(std::wstring_view text);

// The date of a field "YYYY-MM-DD" (time 00:00:00) as a host date.
HostDate ParseDateField(std::wstring_view text);

}  // namespace orvella
