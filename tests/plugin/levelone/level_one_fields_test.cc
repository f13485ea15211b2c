#include "plugin/levelone/level_one_fields.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"
#include "plugin/boundary/feed_text.h"

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

// Field index of line cut one comma at a time; empty past the line's end.
std::wstring_view PlainField(std::wstring_view line, std::size_t index) {
    std::size_t from = 0;
    for (std::size_t field = 0; field < index; ++field) {
        const std::size_t comma = line.find(L',', from);
        if (comma == std::wstring_view::npos) {
            return {};
        }
        from = comma + 1;
    }
    return line.substr(from, line.find(L',', from) - from);
}

TEST(SplitFields, BothSplitsCutAsOneCommaAtATime) {
    // The characters are searched a block at a time: fields of every length
    // around a block's end, and lines ending inside and at a block's end.
    // The bytes are searched 64 at a time: widths up to past that.
    std::vector<std::wstring> lines = {L"", L",", L"Q", CommaList(33), CommaList(40)};
    for (std::size_t width = 0; width < 70; ++width) {
        const std::wstring field(width, L'x');
        std::wstring line = L"Q";
        for (int i = 0; i < 40; ++i) {
            line += L"," + field;
            lines.push_back(line);
        }
    }
    for (const std::wstring& line : lines) {
        const CLineFields all = SplitFields(line);
        const CReadFields read = SplitReadFields(line);
        const std::string bytes = platform::NarrowText(line);
        const CByteReadFields byteRead(bytes);
        for (std::size_t i = 0; i < kLevelOneFieldCount; ++i) {
            ASSERT_EQ(all[i], PlainField(line, i)) << line << " [" << i << "]";
            if (i < kReadFieldCount) {
                ASSERT_EQ(read[i], all[i]) << line << " [" << i << "]";
                ASSERT_EQ(platform::WidenText(byteRead[i]), all[i]) << line << " [" << i << "]";
            }
        }
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

TEST(ReadLineDateTime, TakesFixedPositionsEachPartExactlyItsDigits) {
    struct Case {
        const wchar_t* time;
        const wchar_t* date;
        bool read;
        CLineDateTime parts;
    };
    const Case cases[] = {
        {L"09:30:15t", L"08/01/2011", true, {2011, 8, 1, 9, 30, 15}},
        {L"16-00-00", L"12.31.1999", true, {1999, 12, 31, 16, 0, 0}},
        {L"09:30:15.250T", L"08/01/2011", true, {2011, 8, 1, 9, 30, 15}},
        {L"9:30:00", L"8/1/2011", false, {}},
        {L"", L"", false, {}},
        {L"t", L"08/01/2011", false, {}},
        {L"10:05", L"01/02/20", false, {}},
        {L"09:30:00t", L"03/06/20245", false, {}},
        {L"09:30:00t", L"03/06/2024 ", false, {}},
        {L"1x:2y:3z", L"0a/1b/2c", false, {}},
        {L"09:30:001", L"08/01/2011", false, {}},
    };
    // As wide text and as received bytes.
    for (const Case& c : cases) {
        const std::string time = platform::NarrowText(c.time);
        const std::string date = platform::NarrowText(c.date);
        CLineDateTime wide;
        CLineDateTime bytes;
        EXPECT_EQ(ReadLineDateTime(c.time, c.date, &wide), c.read) << c.time << " " << c.date;
        EXPECT_EQ(ReadLineDateTime(time, date, &bytes), c.read) << time << " " << date;
        if (!c.read) {
            continue;
        }
        for (const CLineDateTime& got : {wide, bytes}) {
            EXPECT_EQ(got.year, c.parts.year) << c.time << " " << c.date;
            EXPECT_EQ(got.month, c.parts.month) << c.date;
            EXPECT_EQ(got.day, c.parts.day) << c.date;
            EXPECT_EQ(got.hour, c.parts.hour) << c.time;
            EXPECT_EQ(got.minute, c.parts.minute) << c.time;
            EXPECT_EQ(got.second, c.parts.second) << c.time;
        }
    }
}

TEST(FindTradeMarker, FirstTOfEitherCase) {
    EXPECT_EQ(FindTradeMarker(L"09:30:00t"), L't');
    EXPECT_EQ(FindTradeMarker(L"09:30:00T"), L'T');
    EXPECT_EQ(FindTradeMarker(L"09:30:00Tt"), L'T');
    EXPECT_EQ(FindTradeMarker(L"09:30:00b"), 0);
    EXPECT_EQ(FindTradeMarker(L""), 0);
    EXPECT_EQ(FindTradeMarker(std::string_view("09:30:00\xF4T")), L'T');
    EXPECT_EQ(FindTradeMarker(std::string_view("09:30:00t")), L't');
    EXPECT_EQ(FindTradeMarker(std::string_view("")), 0);
}

// A field of bytes reads as its widened text does: the same bits, or false
// for both (and the value untouched).
TEST(ReadFieldNumber, AsTheWidenedText) {
    const char* const fields[] = {"0",
                                  "10.5",
                                  "-10.5",
                                  "20.43",
                                  "250123",
                                  ".5",
                                  "5.",
                                  "-",
                                  ".",
                                  "",
                                  "1.2.3",
                                  "123456789012345",
                                  "1234567890123456",
                                  "0.000000000000001",
                                  "1e5",
                                  "+7",
                                  " 7 ",
                                  "\t8",
                                  "9 ",
                                  "1e400",
                                  "nan",
                                  "inf",
                                  "10.5x",
                                  "--1",
                                  "0x10",
                                  "\xB5",
                                  "1,5",
                                  "99999999999999.9",
                                  "3.14159265358979",
                                  "-0",
                                  "00012.3400"};
    for (const char* field : fields) {
        double wide = -7.0;
        double bytes = -7.0;
        const bool wideRead = ReadFiniteNumber(platform::WidenText(field), &wide);
        EXPECT_EQ(ReadFieldNumber(field, &bytes), wideRead) << field;
        EXPECT_EQ(std::memcmp(&wide, &bytes, sizeof wide), 0) << field;
    }
    // Past the short field's room it is read all the same.
    const std::string spaced = std::string(100, ' ') + "42.5";
    double value = 0.0;
    EXPECT_TRUE(ReadFieldNumber(spaced, &value));
    EXPECT_EQ(value, 42.5);
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
