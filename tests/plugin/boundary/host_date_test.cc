#include "plugin/boundary/host_date.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orvella {
namespace {

TEST(HostDate, PartsRoundTripThroughEveryYear) {
    const int kDays[] = {1, 28};
    for (int year = 100; year <= 9999; ++year) {
        for (int month : {1, 2, 7, 12}) {
            for (int day : kDays) {
                const int hour = year % 24, minute = year % 60, second = (year * 7) % 60;
                const HostDate date = DateFromParts(year, month, day, hour, minute, second);
                ASSERT_EQ(date.status, kDateValid) << year << '-' << month << '-' << day;
                // strftime writes the year without padding.
                wchar_t expected[32];
                swprintf(expected, 32, L"%d-%02d-%02d %02d:%02d:%02d", year, month, day, hour,
                         minute, second);
                ASSERT_EQ(FormatDate(date, L"%Y-%m-%d %H:%M:%S"), expected);
            }
        }
    }
}

TEST(HostDate, TimeOfAKnownDayIsTheWholeDate) {
    for (const int year : {100, 1899, 1900, 2011, 9999}) {
        const HostDate midnight = DateFromParts(year, 12, 29, 0, 0, 0);
        for (const int seconds : {0, 1, 43200, 86399}) {
            const int h = seconds / 3600, mi = seconds / 60 % 60, s = seconds % 60;
            const HostDate at = DateAtTime(midnight, h, mi, s);
            const HostDate whole = DateFromParts(year, 12, 29, h, mi, s);
            EXPECT_EQ(at.status, kDateValid) << year;
            EXPECT_EQ(at.value, whole.value) << year << ' ' << seconds;
        }
    }
    EXPECT_EQ(DateAtTime(DateFromParts(2011, 2, 29, 0, 0, 0), 1, 0, 0).status, kDateInvalid);
    EXPECT_EQ(DateAtTime(DateFromParts(2011, 2, 28, 0, 0, 0), 24, 0, 0).status, kDateInvalid);
    EXPECT_EQ(DateAtTime(DateFromParts(2011, 2, 28, 0, 0, 0), 0, 0, 60).status, kDateInvalid);
}

TEST(HostDate, KnownDayCounts) {
    struct Case {
        int y, mo, d, h, mi, s;
        double value;
    };
    const Case cases[] = {
        {1899, 12, 30, 0, 0, 0, 0.0},
        {1899, 12, 31, 0, 0, 0, 1.0},
        {1900, 1, 1, 0, 0, 0, 2.0},
        {1899, 12, 29, 6, 0, 0, -1.25},  // the whole part counts back, the time forward
        {1899, 12, 29, 18, 0, 0, -1.75},
        {100, 1, 1, 0, 0, 0, -657434.0},
        {9999, 12, 31, 0, 0, 0, 2958465.0},
        {2011, 8, 1, 9, 30, 0, 40756.395833333336},
    };
    for (const Case& c : cases) {
        const HostDate date = DateFromParts(c.y, c.mo, c.d, c.h, c.mi, c.s);
        EXPECT_EQ(date.status, kDateValid);
        EXPECT_NEAR(date.value, c.value, 1e-9) << c.y << '-' << c.mo << '-' << c.d;
    }
    EXPECT_EQ(FormatDate(HostDate{-1.25, kDateValid}, L"%Y%m%d %H%M%S"), L"18991229 060000");
    EXPECT_EQ(FormatDate(HostDate{40756.395833333336, kDateValid}, L"%Y%m%d %H%M%S"),
              L"20110801 093000");
}

TEST(HostDate, ImpossiblePartsAreInvalid) {
    struct Case {
        int y, mo, d, h, mi, s;
        bool valid;
    };
    const Case cases[] = {
        {2011, 2, 29, 0, 0, 0, false}, {2012, 2, 29, 0, 0, 0, true},
        {1900, 2, 29, 0, 0, 0, false}, {2000, 2, 29, 0, 0, 0, true},
        {99, 12, 31, 0, 0, 0, false},  {10000, 1, 1, 0, 0, 0, false},
        {2020, 13, 1, 0, 0, 0, false}, {2020, 0, 1, 0, 0, 0, false},
        {2020, 4, 31, 0, 0, 0, false}, {2020, 1, 1, 24, 0, 0, false},
        {2020, 1, 1, 0, 60, 0, false}, {2020, 1, 1, 0, 0, 60, false},
        {2020, 1, 1, -1, 0, 0, false}, {2020, 1, 1, 23, 59, 59, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DateFromParts(c.y, c.mo, c.d, c.h, c.mi, c.s).status == kDateValid, c.valid)
            << c.y << '-' << c.mo << '-' << c.d << ' ' << c.h << ':' << c.mi << ':' << c.s;
    }
}

TEST(HostDate, SpansAndComparisons) {
    EXPECT_DOUBLE_EQ(ContinuousDayValue(-1.25), -0.75);
    EXPECT_DOUBLE_EQ(ContinuousDayValue(-0.0000001), -0.0000001);
    EXPECT_DOUBLE_EQ(ContinuousDayValue(2.5), 2.5);

    struct SpanCase {
        double days;
        int64_t whole;
    };
    const SpanCase spans[] = {{0.5, 0},  {-0.9999999, -1}, {0.9999, 0}, {0.99999999, 1},
                              {-0.4, 0}, {3.0, 3},         {-3.0, -3}};
    for (const SpanCase& c : spans) {
        EXPECT_EQ(TotalWholeDays(DaySpan{c.days, kDateValid}), c.whole) << c.days;
    }

    EXPECT_EQ(DateDifference(HostDate{3615897.0}, HostDate{0.0}).status, kDateValid);
    EXPECT_EQ(DateDifference(HostDate{3615898.0}, HostDate{0.0}).status, kDateInvalid);
    EXPECT_DOUBLE_EQ(DateDifference(HostDate{1.0}, HostDate{-1.25}).days, 1.75);

    const HostDate invalid{5.0, kDateInvalid};
    const HostDate valid{1.0, kDateValid};
    EXPECT_FALSE(DateIsAfter(invalid, valid));
    EXPECT_FALSE(DateIsAfter(valid, invalid));
    EXPECT_TRUE(DateIsAfter(HostDate{-0.75}, HostDate{-1.75}));
    EXPECT_TRUE(DateIsAfter(HostDate{-1.25}, HostDate{-1.0}));  // 06:00 the 29th after midnight
}

TEST(HostDate, FormatStatuses) {
    EXPECT_EQ(FormatDate(HostDate{1.0, kDateNull}, L"%Y"), L"");
    EXPECT_EQ(FormatDate(HostDate{1.0, kDateInvalid}, L"%Y"), L"Invalid DateTime");
    EXPECT_EQ(FormatDate(HostDate{-700000.0, kDateValid}, L"%Y"), L"Invalid DateTime");
    EXPECT_EQ(FormatDate(HostDate{3000000.0, kDateValid}, L"%Y"), L"Invalid DateTime");
    EXPECT_EQ(FormatDate(HostDate{40756.0, kDateValid}, L"%A %B %j"), L"Monday August 213");
}

}  // namespace
}  // namespace orvella
