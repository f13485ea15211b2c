#include "plugin/history/history_fields.h"

#include <algorithm>
#include <bit>
#include <cwchar>

#include "platform/comma_mask.h"

namespace orvella {

const wchar_t* CFieldReader::FieldEnd(const wchar_t* from) const {
    // Fields are looked at a block of characters at a time, side by side:
    // two blocks hold a date field with its time. The library search costs a
    // call and a hard-to-predict branch per field, so it only takes longer
    // fields; the last few characters of a line are looked at one by one.
    constexpr std::ptrdiff_t kBlock = platform::kCommaBlock;
    for (int block = 0; block < 2 && m_end - from >= kBlock; ++block, from += kBlock) {
        if (const uint32_t comma = platform::CommaMask(from); comma != 0) {
            return from + std::countr_zero(comma);
        }
    }
    if (m_end - from < kBlock) {
        while (from != m_end && *from != L',') {
            ++from;
        }
        return from;
    }
    const wchar_t* const comma = std::wmemchr(from, L',', static_cast<size_t>(m_end - from));
    return comma != nullptr ? comma : m_end;
}

bool CFieldReader::ReadWholeField(const wchar_t* start, double* value) {
    m_at = FieldEnd(m_at);
    return ReadFiniteNumber(std::wstring_view(start, static_cast<size_t>(m_at - start)), value);
}

namespace {

// The value of the count digits at text[pos...], which the caller has made
// sure are there; -1 when one is no digit or a digit follows them. The rule
// of ReadExactDigits (feed_text.h), kept here where the compiler can inline
// it: a call per part made reading a tick line about 8% slower.
int ExactDigitsAt(std::wstring_view text, size_t pos, size_t count) {
    int read = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        const unsigned digit = static_cast<unsigned>(text[i]) - L'0';
        if (digit > 9) {
            return -1;
        }
        read = read * 10 + static_cast<int>(digit);
    }
    const size_t after = pos + count;
    if (after < text.size() && static_cast<unsigned>(text[after]) - L'0' <= 9) {
        return -1;
    }
    return read;
}

}  // namespace

bool ReadDateFieldParts(std::wstring_view text, bool withTime, CDateFieldParts* parts) {
    // One length check for all parts ("YYYY-MM-DD" is 10 characters, with
    // " HH:MM:SS" 19): a field of a tick reply is read once per line.
    if (text.size() < (withTime ? 19u : 10u)) {
        return false;
    }
    parts->year = ExactDigitsAt(text, 0, 4);
    parts->month = ExactDigitsAt(text, 5, 2);
    parts->day = ExactDigitsAt(text, 8, 2);
    const bool date = parts->year >= 0 && parts->month >= 0 && parts->day >= 0;
    if (!date || !withTime) {
        return date;
    }
    parts->hour = ExactDigitsAt(text, 11, 2);
    parts->minute = ExactDigitsAt(text, 14, 2);
    parts->second = ExactDigitsAt(text, 17, 2);
    return parts->hour >= 0 && parts->minute >= 0 && parts->second >= 0;
}

bool CLineDay::Read(std::wstring_view text, CDateFieldParts* parts, HostDate* when) {
    if (text.size() < 19) {
        return false;
    }
    if (!m_bKnown || !std::equal(m_text, m_text + kDayChars, text.data())) {
        m_bKnown = ReadDateFieldParts(text, false, &m_day);
        if (!m_bKnown) {
            return false;
        }
        std::copy_n(text.data(), kDayChars, m_text);
        m_midnight = DateFromParts(m_day.year, m_day.month, m_day.day, 0, 0, 0);
    }
    parts->year = m_day.year;
    parts->month = m_day.month;
    parts->day = m_day.day;
    parts->hour = ExactDigitsAt(text, 11, 2);
    parts->minute = ExactDigitsAt(text, 14, 2);
    parts->second = ExactDigitsAt(text, 17, 2);
    if (parts->hour < 0 || parts->minute < 0 || parts->second < 0) {
        return false;
    }
    *when = DateAtTime(m_midnight, parts->hour, parts->minute, parts->second);
    return true;
}

HostDate ParseDateTimeField(std::wstring_view text) {
    CDateFieldParts p;
    if (!ReadDateFieldParts(text, true, &p)) {
        return HostDate{0.0, kDateInvalid};
    }
    return DateFromParts(p.year, p.month, p.day, p.hour, p.minute, p.second);
}

HostDate ParseDateField(std::wstring_view text) {
    CDateFieldParts p;
    if (!ReadDateFieldParts(text, false, &p)) {
        return HostDate{0.0, kDateInvalid};
    }
    return DateFromParts(p.year, p.month, p.day, 0, 0, 0);
}

}  // namespace orvella
