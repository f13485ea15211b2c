#include "plugin/history/history_fields.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace orvella {
namespace {

std::vector<std::wstring> AllFields(std::wstring_view line, std::ptrdiff_t* lastPosition) {
    std::vector<std::wstring> fields;
    std::ptrdiff_t position = 0;
    while (position != kEndOfLine) {
        fields.emplace_back(SplitNextField(line, &position));
        if (position != kEndOfLine) {
            *lastPosition = position;
        }
    }
    return fields;
}

TEST(SplitNextField, RunsOfCommasAreOneSeparator) {
    struct Case {
        const wchar_t* line;
        std::vector<std::wstring> fields;  // the last one is the empty end
        std::ptrdiff_t lastPosition;
    } cases[] = {
        {L"a,,b", {L"a", L"b", L""}, 5},
        {L",a", {L"a", L""}, 3},
        {L"a,", {L"a", L""}, 2},
        {L"", {L""}, 0},
        {L",,,", {L""}, 0},
        {L"2011-08-01,1.5\r\n", {L"2011-08-01", L"1.5\r\n", L""}, 17},
    };
    for (const Case& c : cases) {
        std::ptrdiff_t last = 0;
        EXPECT_EQ(AllFields(c.line, &last), c.fields) << c.line;
        EXPECT_EQ(last, c.lastPosition) << c.line;
    }
}

TEST(SplitNextField, PastTheEndIsAnInvalidArgument) {
    std::ptrdiff_t position = kEndOfLine;
    EXPECT_THROW(SplitNextField(L"a,b", &position), std::invalid_argument);
}

TEST(ParseDateFields, ReadByPositionEachPartExactlyItsDigits) {
    const double kAug1 = 40756.0;  // 1 August 2011
    struct Case {
        const wchar_t* text;
        bool withTime;
        double value;
        int status;
    } cases[] = {
        {L"2011-08-01 09:30:00", true, kAug1 + 9.5 / 24, kDateValid},
        {L"2011-08-01 09:30:00.123456", true, kAug1 + 9.5 / 24, kDateValid},
        {L"2011-08-01T09:30:00Z", true, kAug1 + 9.5 / 24, kDateValid},
        {L"2011-08-01", false, kAug1, kDateValid},
        {L"2011-08-01 09:30:00", false, kAug1, kDateValid},
        {L"2011-08-01\r\n", false, kAug1, kDateValid},
        {L"2011-02-29", false, 0.0, kDateInvalid},
        {L"2011-08-01 25:00:00", true, 0.0, kDateInvalid},
        {L"garbage-xx", false, 0.0, kDateInvalid},
        // Each part is exactly its digits, and all of them are there.
        {L"2011-08-01 09:30", true, 0.0, kDateInvalid},
        {L"2011-08-01", true, 0.0, kDateInvalid},
        {L"20245-03-06", false, 0.0, kDateInvalid},
        {L"99999-12-31", false, 0.0, kDateInvalid},
        {L"2011-8-01", false, 0.0, kDateInvalid},
        {L"2011-08-011", false, 0.0, kDateInvalid},
        {L"2011-08-01 9:30:00", true, 0.0, kDateInvalid},
        {L"2011-08-01 09:30:000", true, 0.0, kDateInvalid},
        {L"2011-08-01 -9:30:00", true, 0.0, kDateInvalid},
        {L" 2011-08-01", false, 0.0, kDateInvalid},
    };
    for (const Case& c : cases) {
        const HostDate date = c.withTime ? ParseDateTimeField(c.text) : ParseDateField(c.text);
        EXPECT_EQ(date.status, c.status) << c.text;
        if (c.status == kDateValid) {
            EXPECT_NEAR(date.value, c.value, 1e-9) << c.text;
        }
    }
}

}  // namespace
}  // namespace orvella
