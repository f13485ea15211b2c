#include "plugin/history/history_fields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace orvella {
namespace {

std::vector<std::wstring> AllFields(std::wstring_view line) {
    std::vector<std::wstring> fields;
    CFieldReader reader(line);
    std::wstring_view field;
    while (reader.Next(&field)) {
        fields.emplace_back(field);
    }
    EXPECT_TRUE(field.empty());
    return fields;
}

TEST(CFieldReader, RunsOfCommasAreOneSeparator) {
    struct Case {
        const wchar_t* line;
        std::vector<std::wstring> fields;
    } cases[] = {
        {L"a,,b", {L"a", L"b"}},
        {L",a", {L"a"}},
        {L"a,", {L"a"}},
        {L"", {}},
        {L",,,", {}},
        {L"2011-08-01,1.5\r\n", {L"2011-08-01", L"1.5\r\n"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AllFields(c.line), c.fields) << c.line;
    }
}

// A field read as a number gives what ReadFiniteNumber gives for it, and the
// reader goes on after it as after any field.
TEST(CFieldReader, NumbersReadAsTheWholeField) {
    const std::wstring_view kFields[] = {
        L"12.25",
        L"-3",
        L"300",
        L"0.5",
        L".5",
        L"5.",
        L"-0",
        L"+7",
        L" 8 ",
        L"9\r\n",
        L"1e3",
        L"1.5E-2",
        L"1234567890123456",
        L"123456789012345",
        L"1.2.3",
        L"1-2",
        L"-",
        L".",
        L"nan",
        L"inf",
        L"1e400",
        L"12.5abc",
        L"\x0661",
        std::wstring_view(L"7\0", 2),
    };
    for (const std::wstring_view text : kFields) {
        const std::wstring field(text);
        double expected = -1;
        const bool readable = ReadFiniteNumber(field, &expected);
        const std::wstring line = L",," + field + L",,next";
        CFieldReader reader(line);
        double value = -1;
        bool read = true;
        ASSERT_TRUE(reader.NextNumber(&value, &read)) << field;
        EXPECT_EQ(read, readable) << field;
        if (readable) {
            EXPECT_EQ(value, expected) << field;
            EXPECT_EQ(std::signbit(value), std::signbit(expected)) << field;
        }
        std::wstring_view next;
        EXPECT_TRUE(reader.Next(&next)) << field;
        EXPECT_EQ(next, L"next") << field;
        EXPECT_FALSE(reader.NextNumber(&value, &read)) << field;
        EXPECT_FALSE(read) << field;
    }
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

// The day of a run of fields is read once: every field still reads as on
// its own, bit for bit, whatever came before it.
TEST(CLineDay, ReadsEachFieldAsOnItsOwn) {
    const wchar_t* const fields[] = {
        L"2011-08-01 09:30:00",  L"2011-08-01 09:30:01", L"2011-08-01 23:59:59.5",
        L"2011-08-01 24:00:00",   // the known day, a time out of range
        L"2011-08-01 9:30:00",    // the known day, a time part not its digits
        L"2011-08-011 09:30:00",  // the known day's characters, then a digit
        L"2011-08-02 00:00:00",
        L"2011-02-29 10:00:00",  // digits, but no such day
        L"2011-02-29 10:00:01",  L"2011-08-0x 10:00:00", L"2011-08-02 00:00:00",
        L"2011-08-02",           // too short for a time
        L"1899-12-29 12:00:00",  // before the epoch the time runs forward
        L"1899-12-29 18:00:00",
    };
    CLineDay day;
    for (const wchar_t* field : fields) {
        CDateFieldParts parts;
        HostDate when{0.0, kDateInvalid};
        const bool read = day.Read(field, &parts, &when);
        CDateFieldParts alone;
        const bool readAlone = ReadDateFieldParts(field, true, &alone);
        ASSERT_EQ(read, readAlone) << field;
        if (!read) {
            continue;
        }
        EXPECT_EQ(parts.year * 10000 + parts.month * 100 + parts.day,
                  alone.year * 10000 + alone.month * 100 + alone.day)
            << field;
        const HostDate reference = ParseDateTimeField(field);
        EXPECT_EQ(when.status, reference.status) << field;
        EXPECT_EQ(when.value, reference.value) << field;
    }
}

// The one-pass reader takes only the usual tick line, and reads it as the
// field reader cuts it and as its date reads on its own; every other line is
// left to the field reader. The text goes on after the line, as a chunk does.
TEST(ReadUsualTickLine, TakesTheUsualLayoutAndReadsItAsTheFieldReader) {
    constexpr std::wstring_view kUsual =
        L"2011-08-01 09:30:00,12.50,100,1000,12.49,12.51,1,200,300,";
    struct Case {
        std::wstring line;
        bool taken;
        bool extended;
    } cases[] = {
        {std::wstring(kUsual) + L"C\r\n", true, false},
        {std::wstring(kUsual) + L"CE\r\n", true, true},
        {std::wstring(kUsual) + L"C,E,more\r\n", true, false},  // F9 ends at its comma
        {std::wstring(kUsual) + L"\r\n", true, false},          // no F9
        {L"2011-08-01 09:30:00,-0.5,.5,5.,1,2,x-y,3,4,C\n", true, false},
        {std::wstring(kUsual) + L",C\r\n", false, false},  // a run of commas before F9
        {std::wstring(kUsual) + L"C!\r\n", false, false},  // the end message's mark
        {L"2011-08-01 09:30:00,12.50,100,1000,12.49,12.51,1,200,300\r\n", false, false},
        {L"2011-08-01T09:30:00,12.50,100,1000,12.49,12.51,1,200,300,C\r\n", false, false},
        {L"2011-08-01 09:30:00.5,12.50,100,1000,12.49,12.51,1,200,300,C\r\n", false, false},
        {L"42,2011-08-01 09:30:00,12.50,100,1000,12.49,12.51,1,200,300,C\r\n", false, false},
        {L"2011-08-01 09:30:00,,12.50,100,1000,12.49,12.51,1,200,300,C\r\n", false, false},
        {L"2011-08-01 09:30:00,12.50, 100,1000,12.49,12.51,1,200,300,C\r\n", false, false},
        {L"2011-08-01 09:30:00,1e3,100,1000,12.49,12.51,1,200,300,C\r\n", false, false},
        {L"2011-08-01 09:30:00,12.50,100,x,12.49,12.51,1,200,300,C\r\n", false, false},
        {L"2011-08-01 09:30:00,12.50,100,1000,12.49,12.51,,200,300,C\r\n", false, false},
        {L"2011-08-01 09:30:00,12.50,100,1000,12.49,12.51,1 2,200,300,C\r\n", false, false},
        {L"2011-08-01 09:30:00,1234567890123456,1,1,1,1,1,1,1,C\r\n", false, false},
        {L"2011-02-30 09:30:00,12.50,100,1000,12.49,12.51,1,200,300,C\r\n", false, false},
        {L"2011-08-01 24:00:00,12.50,100,1000,12.49,12.51,1,200,300,C\r\n", false, false},
        {L"2011-08-01 09:30:00\r\n", false, false},
    };
    CLineDay usualDay;
    CLineDay cutDay;
    for (const Case& c : cases) {
        const std::wstring text = c.line + L"2011-08-02 09:30:00,1,1,1,1,1,1,1,1,C\r\n";
        CTickFields usual;
        CDateFieldParts parts;
        HostDate when{0.0, kDateInvalid};
        const wchar_t* const end = ReadUsualTickLine(text.data(), text.data() + text.size(),
                                                     &usualDay, &usual, &parts, &when);
        ASSERT_EQ(end != nullptr, c.taken) << c.line;
        if (!c.taken) {
            continue;
        }
        EXPECT_EQ(end, text.data() + c.line.size()) << c.line;
        CTickFields cut;
        ASSERT_TRUE(CutTickLine(c.line, &cut)) << c.line;
        EXPECT_TRUE(usual.numbersRead && usual.dayVolumeRead && cut.numbersRead) << c.line;
        EXPECT_EQ(usual.extended, c.extended) << c.line;
        EXPECT_EQ(cut.extended, c.extended) << c.line;
        EXPECT_EQ(usual.date, cut.date) << c.line;
        const double usualValues[] = {usual.price,      usual.size,       usual.dayVolume,
                                      usual.type2Price, usual.type4Price, usual.type2Size,
                                      usual.type4Size};
        const double cutValues[] = {cut.price,      cut.size,      cut.dayVolume, cut.type2Price,
                                    cut.type4Price, cut.type2Size, cut.type4Size};
        for (size_t i = 0; i < std::size(usualValues); ++i) {
            EXPECT_EQ(usualValues[i], cutValues[i]) << c.line << " value " << i;
            EXPECT_EQ(std::signbit(usualValues[i]), std::signbit(cutValues[i])) << c.line;
        }
        CDateFieldParts cutParts;
        HostDate cutWhen{0.0, kDateInvalid};
        ASSERT_TRUE(cutDay.Read(cut.date, &cutParts, &cutWhen)) << c.line;
        EXPECT_EQ(when.status, kDateValid) << c.line;
        EXPECT_EQ(when.value, cutWhen.value) << c.line;
        EXPECT_EQ(parts.hour * 10000 + parts.minute * 100 + parts.second,
                  cutParts.hour * 10000 + cutParts.minute * 100 + cutParts.second)
            << c.line;
    }
}

}  // namespace
}  // namespace orvella
