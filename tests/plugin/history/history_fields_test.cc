#include "plugin/history/history_fields.h"

#include <gtest/gtest.h>

#include <cmath>
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

TEST(ReadDecimalNumber, StrtodSemantics) {
    struct Case {
        const wchar_t* text;
        double value;
    } cases[] = {
        {L"12.5", 12.5},        {L"  -3.25", -3.25},
        {L"+7", 7.0},           {L"1e3", 1000.0},
        {L"2.5E-1", 0.25},      {L".5", 0.5},
        {L"5.", 5.0},           {L"1000\r\n", 1000.0},
        {L"12.5abc", 12.5},     {L"1e", 1.0},
        {L"1e+", 1.0},          {L"", 0.0},
        {L"abc", 0.0},          {L"-", 0.0},
        {L"nan", 0.0},          {L"inf", 0.0},
        {L"0x10", 0.0},         {L"1-2", 1.0},
        {L"1e-400", 0.0},       {L"1e400", HUGE_VAL},
        {L"-1e400", -HUGE_VAL}, {L"1e99999999999999999999999", HUGE_VAL},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadDecimalNumber(c.text), c.value) << c.text;
    }
    EXPECT_TRUE(std::signbit(ReadDecimalNumber(L"-0")));
}

TEST(ReadDecimalNumber, LongFieldsAreReadWhole) {
    const std::wstring digits = L"1" + std::wstring(300, L'0');
    EXPECT_EQ(ReadDecimalNumber(digits), 1e300);
    EXPECT_EQ(ReadDecimalNumber(std::wstring(400, L'9')), HUGE_VAL);
    EXPECT_EQ(ReadDecimalNumber(L"0." + std::wstring(400, L'0') + L"1"), 0.0);
}

TEST(ReadDecimalInteger, PrefixSemantics) {
    struct Case {
        const wchar_t* text;
        int value;
    } cases[] = {
        {L"2011", 2011}, {L"08", 8}, {L" 7", 7}, {L"-3", -3}, {L"+4", 4},
        {L"1x", 1},      {L"x1", 0}, {L"", 0},   {L"-", 0},   {L"99999999999", 2147483647},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadDecimalInteger(c.text), c.value) << c.text;
    }
}

TEST(ParseDateFields, ReadByPosition) {
    const double kAug1 = 40756.0;  // 1 August 2011
    struct Case {
        const wchar_t* text;
        bool withTime;
        double value;
        int status;
    } cases[] = {
        {L"2011-08-01 09:30:00", true, kAug1 + 9.5 / 24, kDateValid},
        {L"2011-08-01 09:30:00.123456", true, kAug1 + 9.5 / 24, kDateValid},
        {L"2011-08-01 09:30", true, kAug1 + 9.5 / 24, kDateValid},
        {L"2011-08-01", true, kAug1, kDateValid},
        {L"2011-08-01 09:30:00", false, kAug1, kDateValid},
        {L"2011-08-01\r\n", false, kAug1, kDateValid},
        {L"2011-02-29", false, 0.0, kDateInvalid},
        {L"2011-08-01 25:00:00", true, 0.0, kDateInvalid},
        {L"garbage-xx", false, 0.0, kDateInvalid},
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
