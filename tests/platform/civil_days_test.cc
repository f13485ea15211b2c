// Day numbers of dates and back, at the calendar's edges: leap days, century
// years, the eras of 400 years, and dates long before 1970.
#include "platform/civil_days.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(CivilDaysTest, DatesAndDayNumbersRoundTrip) {
    struct Case {
        int year, month, day;
        int64_t days;
    };
    const Case cases[] = {
        {1970, 1, 1, 0},        {1969, 12, 31, -1},
        {1899, 12, 30, -25569},                        // the host's day 0
        {2000, 2, 29, 11016},                          // a leap day of a year divisible by 400
        {2000, 3, 1, 11017},    {1900, 3, 1, -25508},  // 1900 has no 29 February
        {1900, 2, 28, -25509},  {2024, 12, 31, 20088},
        {1600, 1, 1, -135140},                       // the start of an era
        {1, 1, 1, -719162},     {0, 3, 1, -719468},  // the first day of the scheme's year 0
        {-1, 12, 31, -719529},  {9999, 12, 31, 2932896},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day);
        EXPECT_EQ(DaysFromCivil(c.year, c.month, c.day), c.days);
        int year = 0, month = 0, day = 0;
        CivilFromDays(c.days, &year, &month, &day);
        EXPECT_EQ(year, c.year);
        EXPECT_EQ(month, c.month);
        EXPECT_EQ(day, c.day);
    }
    // Every day of four centuries, in order, each one day after the last.
    int64_t expected = DaysFromCivil(1800, 1, 1);
    for (int64_t days = expected; days < DaysFromCivil(2200, 1, 1); ++days) {
        int year = 0, month = 0, day = 0;
        CivilFromDays(days, &year, &month, &day);
        ASSERT_EQ(DaysFromCivil(year, month, day), expected++)
            << year << "-" << month << "-" << day;
    }
    static_assert(DaysFromCivil(1970, 1, 2) == 1);
}

}  // namespace
}  // namespace platform
