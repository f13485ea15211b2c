#include "plugin/levelone/level_one_fields.h"

#include <gtest/gtest.h>

#include <string>

namespace orvella {
namespace {

std::wstring CommaList(int count) {
    std::wstring line;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            line += L',';
        }
        line += std::to_wstring(i);
    }
    return line;
}

TEST(SplitFields, CutsAtEveryComma) {
    struct Case {
        const wchar_t* line;
        std::size_t index;
        const wchar_t* field;
    };
    const Case cases[] = {
        {L"", 0, L""},         {L"Q", 0, L"Q"},   {L"Q", 1, L""},
        {L"Q,ABC", 1, L"ABC"}, {L"Q,,X", 1, L""}, {L"Q,,X", 2, L"X"},
        {L"Q,A,", 2, L""},     {L",A", 0, L""},   {L"Q,A,B\r", 2, L"B\r"},
    };
    for (const Case& c : cases) {
        const CLineFields fields = SplitFields(c.line);
        EXPECT_EQ(fields[c.index], c.field) << c.line << " [" << c.index << "]";
    }
}

TEST(SplitFields, FewerThan62LeavesTheRestEmpty) {
    const std::wstring line = CommaList(33);
    const CLineFields fields = SplitFields(line);
    EXPECT_EQ(fields[32], L"32");
    for (std::size_t i = 33; i < kLevelOneFieldCount; ++i) {
        EXPECT_TRUE(fields[i].empty()) << i;
    }
}

TEST(SplitFields, MoreThan62AreCutToTheFirst62) {
    for (int count : {62, 63, 80}) {
        const std::wstring line = CommaList(count);
        const CLineFields fields = SplitFields(line);
        EXPECT_EQ(fields[0], L"0") << count;
        EXPECT_EQ(fields[61], L"61") << count;
    }
}

TEST(ReadFieldNumber, ReadsDecimalPrefixOrZero) {
    struct Case {
        const wchar_t* text;
        double value;
    };
    const Case cases[] = {
        {L"", 0.0},       {L"12.5", 12.5},   {L"  7", 7.0},
        {L"+3.25", 3.25}, {L"-0.5", -0.5},   {L".5", 0.5},
        {L"5.", 5.0},     {L"100x", 100.0},  {L"1e3", 1000.0},
        {L"1e", 1.0},     {L"abc", 0.0},     {L"+-5", 0.0},
        {L"--5", 0.0},    {L"12\r", 12.0},   {L"1,5", 1.0},
        {L"-", 0.0},      {L"\u00e95", 0.0}, {L"3.14159265358979", 3.14159265358979},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(ReadFieldNumber(c.text), c.value) << c.text;
    }
}

TEST(ReadFieldNumber, AnOverlongNumberIsReadFromItsFirst64Characters) {
    const std::wstring digits(100, L'1');
    EXPECT_DOUBLE_EQ(ReadFieldNumber(digits), 1.1111111111111111e63);
}

TEST(ReadLineDateTime, TakesFixedPositionsAndLeadingDigits) {
    struct Case {
        const wchar_t* time;
        const wchar_t* date;
        CLineDateTime parts;
    };
    const Case cases[] = {
        {L"09:30:15t", L"08/01/2011", {2011, 8, 1, 9, 30, 15}},
        {L"16-00-00", L"12.31.1999", {1999, 12, 31, 16, 0, 0}},
        {L"9:30:00", L"8/1/2011", {11, 8, 0, 9, 0, 0}},
        {L"", L"", {0, 0, 0, 0, 0, 0}},
        {L"10:05", L"01/02/20", {20, 1, 2, 10, 5, 0}},
        {L"1x:2y:3z", L"0a/1b/2c", {2, 0, 1, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        const CLineDateTime got = ReadLineDateTime(c.time, c.date);
        EXPECT_EQ(got.year, c.parts.year) << c.time << " " << c.date;
        EXPECT_EQ(got.month, c.parts.month) << c.date;
        EXPECT_EQ(got.day, c.parts.day) << c.date;
        EXPECT_EQ(got.hour, c.parts.hour) << c.time;
        EXPECT_EQ(got.minute, c.parts.minute) << c.time;
        EXPECT_EQ(got.second, c.parts.second) << c.time;
    }
}

TEST(FindTradeMarker, FirstTOfEitherCase) {
    EXPECT_EQ(FindTradeMarker(L"09:30:00t"), L't');
    EXPECT_EQ(FindTradeMarker(L"09:30:00T"), L'T');
    EXPECT_EQ(FindTradeMarker(L"09:30:00Tt"), L'T');
    EXPECT_EQ(FindTradeMarker(L"09:30:00b"), 0);
    EXPECT_EQ(FindTradeMarker(L""), 0);
}

TEST(SystemLineField, SecondFieldWithEmptyFieldsSkipped) {
    struct Case {
        const wchar_t* line;
        const wchar_t* field;
    };
    const Case cases[] = {
        {L"S,CUST,1,2", L"CUST"},
        {L"S,,,CUST,1", L"CUST"},
        {L"S,SERVER DISCONNECTED\r", L"SERVER DISCONNECTED\r"},
        {L"S,", L""},
        {L"S", L""},
        {L"S,,,", L""},
        {L"SXKEY,2", L"KEY"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SystemLineField(c.line), c.field) << c.line;
    }
}

}  // namespace
}  // namespace orvella
