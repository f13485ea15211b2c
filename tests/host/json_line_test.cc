#include "host/json_line.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

namespace nsthost {
namespace {

std::string DoubleText(double v) {
    std::string out;
    AppendJsonDouble(v, &out);
    return out;
}

std::string FloatText(float v) {
    std::string out;
    AppendJsonFloat(v, &out);
    return out;
}

TEST(JsonNumbers, Texts) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0.0, "0"},
        {-0.0, "-0.0"},
        {12.5, "12.5"},
        {-5.0, "-5"},
        {40756.5, "40756.5"},
        {0.1, "0.1"},
        {40756.395833333336, "40756.395833333336"},
        {1e300, "1e+300"},
        {std::numeric_limits<double>::quiet_NaN(), "\"NaN\""},
        {std::numeric_limits<double>::infinity(), "\"Infinity\""},
        {-std::numeric_limits<double>::infinity(), "\"-Infinity\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DoubleText(c.value), c.text);
    }
    EXPECT_EQ(FloatText(-5.0f), "-5");
    EXPECT_EQ(FloatText(-0.0f), "-0.0");
    EXPECT_EQ(FloatText(0.0f), "0");
    EXPECT_EQ(FloatText(0.1f), "0.1");
}

// Whatever the bits, the text reads back to the same value, as a double or
// (for intervals) as a float rounded from the double a JSON reader makes.
TEST(JsonNumbers, RandomRoundTrip) {
    std::mt19937_64 random(20110801);
    for (int i = 0; i < 100000; ++i) {
        const uint64_t bits = random();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (!std::isfinite(d)) {
            continue;
        }
        const std::string text = DoubleText(d);
        const double back = std::strtod(text.c_str(), nullptr);
        ASSERT_EQ(std::memcmp(&back, &d, sizeof d), 0) << text;

        const uint32_t fbits = static_cast<uint32_t>(bits >> 32);
        float f;
        std::memcpy(&f, &fbits, sizeof f);
        if (!std::isfinite(f)) {
            continue;
        }
        const std::string ftext = FloatText(f);
        const float fback = static_cast<float>(std::strtod(ftext.c_str(), nullptr));
        ASSERT_EQ(std::memcmp(&fback, &f, sizeof f), 0) << ftext;
    }
}

TEST(JsonStrings, EscapesBytesAsLatin1) {
    struct Case {
        std::string bytes;
        const char* json;
    };
    const Case cases[] = {
        {"ABC", R"("ABC")"},
        {"", R"("")"},
        {"a\"b\\c", R"("a\"b\\c")"},
        {"\n\r\t", R"("\n\r\t")"},
        {std::string("\x01\x1f\x7f", 3), R"("\u0001\u001f\u007f")"},
        {"Caf\xE9", R"("Caf\u00e9")"},
        {"\x80\xFF", R"("\u0080\u00ff")"},
    };
    for (const Case& c : cases) {
        std::string out;
        AppendJsonBytes(c.bytes, &out);
        EXPECT_EQ(out, c.json);
    }
    std::string wide;
    AppendJsonWide(L"\u00e9\u20ac\U0001F600\"", &wide);
    EXPECT_EQ(wide, R"("\u00e9\u20ac\ud83d\ude00\"")");
}

TEST(JsonLine, FieldsInOrder) {
    const std::string line = CJsonLine("NSTSETVALUE")
                                 .Text("symbol", "ABC")
                                 .Float("interval", -5.0f)
                                 .Integer("column", 2)
                                 .Double("value", 12.5)
                                 .Finish();
    EXPECT_EQ(line,
              "{\"call\":\"NSTSETVALUE\",\"symbol\":\"ABC\",\"interval\":-5,\"column\":2,"
              "\"value\":12.5}\n");
}

}  // namespace
}  // namespace nsthost
