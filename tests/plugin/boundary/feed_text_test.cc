#include "plugin/boundary/feed_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace orvella {
namespace {

TEST(ReadFiniteNumber, TheWholeFieldIsOneFiniteNumber) {
    struct Case {
        std::wstring text;
        bool read;
        double value;
    } cases[] = {
        {L"12.5", true, 12.5},
        {L"  -3.25", true, -3.25},
        {L"+7", true, 7.0},
        {L"1e3", true, 1000.0},
        {L"2.5E-1", true, 0.25},
        {L".5", true, 0.5},
        {L"5.", true, 5.0},
        {L"1000\r\n", true, 1000.0},
        {L" 12.5 ", true, 12.5},
        {L"0.1", true, 0.1},
        {L"123456789012345678", true, 123456789012345678.0},
        {L"1" + std::wstring(100, L'0'), true, 1e100},
        // Not a number, or not only one.
        {L"", false, 0.0},
        {L"  ", false, 0.0},
        {L"12.5abc", false, 0.0},
        {L"1e", false, 0.0},
        {L"1e+", false, 0.0},
        {L"abc", false, 0.0},
        {L"-", false, 0.0},
        {L".", false, 0.0},
        {L"--5", false, 0.0},
        {L"1-2", false, 0.0},
        {L"0x10", false, 0.0},
        {L"1 2", false, 0.0},
        {std::wstring(L"1\0", 2), false, 0.0},
        // Not finite, or beyond the double range.
        {L"nan", false, 0.0},
        {L"NaN", false, 0.0},
        {L"inf", false, 0.0},
        {L"-infinity", false, 0.0},
        {L"1e400", false, 0.0},
        {L"-1e400", false, 0.0},
        {L"1e-400", false, 0.0},
        {L"1e99999999999999999999999", false, 0.0},
        {std::wstring(400, L'9'), false, 0.0},
    };
    for (const Case& c : cases) {
        double value = -42.0;
        EXPECT_EQ(ReadFiniteNumber(c.text, &value), c.read)
            << '"' << std::string(c.text.begin(), c.text.end()) << '"';
        EXPECT_EQ(value, c.read ? c.value : -42.0);
    }
    double zero = 1.0;
    ASSERT_TRUE(ReadFiniteNumber(L"-0", &zero));
    EXPECT_TRUE(std::signbit(zero));
}

TEST(ReadExactDigits, APartIsExactlyItsDigits) {
    struct Case {
        const wchar_t* text;
        size_t pos, count;
        bool read;
        int value;
    } cases[] = {
        {L"2011-08-01", 0, 4, true, 2011}, {L"2011-08-01", 5, 2, true, 8},
        {L"2011-08-01", 8, 2, true, 1},    {L"09:30:00t", 6, 2, true, 0},
        {L"20245-03-06", 0, 4, false, 0},  {L"03/06/20245", 6, 4, false, 0},
        {L"2011-8-01", 5, 2, false, 0},    {L"t", 0, 2, false, 0},
        {L"2011", 2, 4, false, 0},         {L"-1", 0, 2, false, 0},
    };
    for (const Case& c : cases) {
        int value = -1;
        EXPECT_EQ(ReadExactDigits(c.text, c.pos, c.count, &value), c.read) << c.text << c.pos;
        if (c.read) {
            EXPECT_EQ(value, c.value) << c.text << c.pos;
        }
    }
}

TEST(IsRequestableSymbol, NoControlCharacterAndNoComma) {
    struct Case {
        std::wstring symbol;
        bool requestable;
    } cases[] = {
        {L"ABC", true},
        {L"@ES#", true},
        {L"Z\u00FCRICH", true},
        {L"", true},
        {L"AB C", true},
        {L"ABC\r\nwXYZ", false},
        {L"ABC\n", false},
        {L"A,B", false},
        {L"A\tB", false},
        {L"A\x7F", false},
        {std::wstring(L"A\0B", 3), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsRequestableSymbol(c.symbol), c.requestable) << c.symbol.size();
    }
}

}  // namespace
}  // namespace orvella
