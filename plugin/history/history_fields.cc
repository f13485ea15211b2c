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

bool NextDateField(CFieldReader& fields, std::wstring_view* date) {
    if (!fields.Next(date)) {
        return false;
    }
    // A date has its '-' after the year: looked at before searching for one.
    const bool isDate =
        (date->size() > 4 && (*date)[4] == L'-') || date->find(L'-') != std::wstring_view::npos;
    return isDate || fields.Next(date);
}

bool CutTickLine(std::wstring_view line, CTickFields* fields) {
    CFieldReader reader(line);
    bool read[6] = {};
    const bool complete = NextDateField(reader, &fields->date) &&
                          reader.NextNumber(&fields->price, &read[0]) &&
                          reader.NextNumber(&fields->size, &read[1]) &&
                          reader.NextNumber(&fields->dayVolume, &fields->dayVolumeRead) &&
                          reader.NextNumber(&fields->type2Price, &read[2]) &&
                          reader.NextNumber(&fields->type4Price, &read[3]) && reader.Skip() &&
                          reader.NextNumber(&fields->type2Size, &read[4]) &&
                          reader.NextNumber(&fields->type4Size, &read[5]);
    if (!complete || fields->date.size() < kShortestDateField) {
        return false;
    }
    // The field is a letter or two: looked at in place, without a library
    // search.
    std::wstring_view conditions;
    reader.Next(&conditions);
    fields->extended = std::find(conditions.begin(), conditions.end(), L'E') != conditions.end();
    fields->numbersRead = read[0] && read[1] && read[2] && read[3] && read[4] && read[5];
    return true;
}

const wchar_t* ReadUsualTickLine(const wchar_t* at, const wchar_t* textEnd, CLineDay* day,
                                 CTickFields* fields, CDateFieldParts* parts, HostDate* when) {
    // The date field's separators in place and a comma after it; its digits
    // are the day's and the time's, which Read checks. So it holds no comma
    // and no line feed, and the line feed before textEnd comes after it.
    constexpr size_t kDateChars = 19;
    const wchar_t* const start = at;
    if (textEnd - at <= static_cast<std::ptrdiff_t>(kDateChars) || at[4] != L'-' || at[7] != L'-' ||
        at[10] != L' ' || at[13] != L':' || at[16] != L':' || at[kDateChars] != L',') {
        return nullptr;
    }
    fields->date = std::wstring_view(at, kDateChars);
    if (!day->Read(fields->date, parts, when) || when->status != kDateValid) {
        return nullptr;
    }
    // Each number ends at its comma; the digit loops stop at the line feed
    // at the latest.
    at += kDateChars + 1;
    if ((at = ReadPlainNumber(at, &fields->price)) == nullptr ||
        (at = ReadPlainNumber(at + 1, &fields->size)) == nullptr ||
        (at = ReadPlainNumber(at + 1, &fields->dayVolume)) == nullptr ||
        (at = ReadPlainNumber(at + 1, &fields->type2Price)) == nullptr ||
        (at = ReadPlainNumber(at + 1, &fields->type4Price)) == nullptr) {
        return nullptr;
    }
    ++at;
    // F6 is not used: any text up to its comma, most often digits. The rare
    // characters ('\0' and '!', and also blanks and line ends) all lie at or
    // below '!'.
    const wchar_t* const skipped = at;
    while (static_cast<unsigned>(*at) - L'0' <= 9) {
        ++at;
    }
    while (*at != L',' && static_cast<unsigned>(*at) > L'!') {
        ++at;
    }
    if (at == skipped || *at != L',') {
        return nullptr;
    }
    if ((at = ReadPlainNumber(at + 1, &fields->type2Size)) == nullptr ||
        (at = ReadPlainNumber(at + 1, &fields->type4Size)) == nullptr) {
        return nullptr;
    }
    // F9 runs to the next comma or the line feed, as the field reader cuts
    // it; a run of commas before it would make the reader skip. Then the
    // rest of the line.
    ++at;
    if (*at == L',') {
        return nullptr;
    }
    bool extended = false;
    for (; *at != L',' && *at != L'\n'; ++at) {
        if (*at == L'\0' || *at == L'!') {
            return nullptr;
        }
        extended |= *at == L'E';
    }
    for (; *at != L'\n'; ++at) {
        if (*at == L'\0' || *at == L'!') {
            return nullptr;
        }
    }
    ++at;
    if (static_cast<size_t>(at - start) > kMaxFeedLineChars + 1) {
        return nullptr;
    }
    fields->numbersRead = true;
    fields->dayVolumeRead = true;
    fields->extended = extended;
    return at;
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
