#include "feedsim/civil_time.h"

#include <charconv>

namespace feedsim {

int Weekday(int64_t days) {
    // 1970-01-01 was a Thursday.
    const int64_t w = (days + 4) % 7;
    return static_cast<int>(w < 0 ? w + 7 : w);
}

CivilDateTime BreakDown(CivilSeconds t) {
    CivilDateTime dt;
    CivilFromDays(DayOf(t), &dt.year, &dt.month, &dt.day);
    const int sod = SecondOfDay(t);
    dt.hour = sod / 3600;
    dt.minute = sod / 60 % 60;
    dt.second = sod % 60;
    return dt;
}

CivilSeconds MakeCivil(const CivilDateTime& dt) {
    return DaysFromCivil(dt.year, dt.month, dt.day) * kSecondsPerDay + dt.hour * 3600 +
           dt.minute * 60 + dt.second;
}

char* WriteTwoDigits(char* p, int value) {
    p[0] = static_cast<char>('0' + value / 10 % 10);
    p[1] = static_cast<char>('0' + value % 10);
    return p + 2;
}

static char* WriteFourDigits(char* p, int value) {
    p = WriteTwoDigits(p, value / 100 % 100);
    return WriteTwoDigits(p, value % 100);
}

char* WriteIsoDate(char* p, int64_t days) {
    int y, m, d;
    CivilFromDays(days, &y, &m, &d);
    p = WriteFourDigits(p, y);
    *p++ = '-';
    p = WriteTwoDigits(p, m);
    *p++ = '-';
    return WriteTwoDigits(p, d);
}

char* WriteIsoDateTime(char* p, CivilSeconds t) {
    p = WriteIsoDate(p, DayOf(t));
    *p++ = ' ';
    return WriteClock(p, SecondOfDay(t));
}

char* WriteUsDate(char* p, int64_t days) {
    int y, m, d;
    CivilFromDays(days, &y, &m, &d);
    p = WriteTwoDigits(p, m);
    *p++ = '/';
    p = WriteTwoDigits(p, d);
    *p++ = '/';
    return WriteFourDigits(p, y);
}

char* WriteClock(char* p, int secondOfDay) {
    p = WriteTwoDigits(p, secondOfDay / 3600);
    *p++ = ':';
    p = WriteTwoDigits(p, secondOfDay / 60 % 60);
    *p++ = ':';
    return WriteTwoDigits(p, secondOfDay % 60);
}

char* WriteInteger(char* p, int64_t value) {
    return std::to_chars(p, p + 24, value).ptr;
}

char* WriteCents(char* p, int64_t cents) {
    if (cents < 0) {
        *p++ = '-';
        cents = -cents;
    }
    p = WriteInteger(p, cents / 100);
    *p++ = '.';
    return WriteTwoDigits(p, static_cast<int>(cents % 100));
}

static bool ReadDigits(std::string_view text, size_t pos, size_t count, int* out) {
    if (pos + count > text.size()) {
        return false;
    }
    int v = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        v = v * 10 + (text[i] - '0');
    }
    *out = v;
    return true;
}

static bool ValidDateTime(const CivilDateTime& dt) {
    if (dt.month < 1 || dt.month > 12 || dt.day < 1 || dt.hour > 23 || dt.minute > 59 ||
        dt.second > 59) {
        return false;
    }
    int y, m, d;
    CivilFromDays(DaysFromCivil(dt.year, dt.month, dt.day), &y, &m, &d);
    return d == dt.day && m == dt.month;
}

bool ParseCompactDateTime(std::string_view text, CivilSeconds* out) {
    CivilDateTime dt;
    if (!ReadDigits(text, 0, 4, &dt.year) || !ReadDigits(text, 4, 2, &dt.month) ||
        !ReadDigits(text, 6, 2, &dt.day)) {
        return false;
    }
    if (text.size() != 8) {
        if (text.size() != 15 || text[8] != ' ' || !ReadDigits(text, 9, 2, &dt.hour) ||
            !ReadDigits(text, 11, 2, &dt.minute) || !ReadDigits(text, 13, 2, &dt.second)) {
            return false;
        }
    }
    if (!ValidDateTime(dt)) {
        return false;
    }
    *out = MakeCivil(dt);
    return true;
}

bool ParseIsoDateTime(std::string_view text, CivilSeconds* out) {
    CivilDateTime dt;
    if (!ReadDigits(text, 0, 4, &dt.year) || text.size() < 10 || text[4] != '-' ||
        !ReadDigits(text, 5, 2, &dt.month) || text[7] != '-' || !ReadDigits(text, 8, 2, &dt.day)) {
        return false;
    }
    if (text.size() != 10) {
        if (text.size() != 19 || (text[10] != ' ' && text[10] != 'T') ||
            !ReadDigits(text, 11, 2, &dt.hour) || text[13] != ':' ||
            !ReadDigits(text, 14, 2, &dt.minute) || text[16] != ':' ||
            !ReadDigits(text, 17, 2, &dt.second)) {
            return false;
        }
    }
    if (!ValidDateTime(dt)) {
        return false;
    }
    *out = MakeCivil(dt);
    return true;
}

bool ParseHhmmss(std::string_view text, int* secondOfDay) {
    int h, m, s;
    if (text.size() != 6 || !ReadDigits(text, 0, 2, &h) || !ReadDigits(text, 2, 2, &m) ||
        !ReadDigits(text, 4, 2, &s) || h > 23 || m > 59 || s > 59) {
        return false;
    }
    *secondOfDay = h * 3600 + m * 60 + s;
    return true;
}

}  // namespace feedsim
