#include "plugin/history/history_fields.h"

#include <stdexcept>

#include "plugin/boundary/feed_text.h"

namespace orvella {

std::wstring_view SplitNextField(std::wstring_view line, std::ptrdiff_t* position) {
    if (*position < 0) {
        throw std::invalid_argument("SplitNextField called past the end of the line");
    }
    size_t from = static_cast<size_t>(*position);
    while (from < line.size() && line[from] == L',') {
        ++from;
    }
    if (from >= line.size()) {
        *position = kEndOfLine;
        return {};
    }
    // Fields are short: a plain loop beats a library search here.
    size_t to = from;
    while (to < line.size() && line[to] != L',') {
        ++to;
    }
    *position = static_cast<std::ptrdiff_t>(to) + 1;
    return line.substr(from, to - from);
}

bool ReadDateFieldParts(std::wstring_view text, bool withTime, CDateFieldParts* parts) {
    const bool date = ReadExactDigits(text, 0, 4, &parts->year) &&
                      ReadExactDigits(text, 5, 2, &parts->month) &&
                      ReadExactDigits(text, 8, 2, &parts->day);
    if (!date || !withTime) {
        return date;
    }
    return ReadExactDigits(text, 11, 2, &parts->hour) &&
           ReadExactDigits(text, 14, 2, &parts->minute) &&
           ReadExactDigits(text, 17, 2, &parts->second);
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
