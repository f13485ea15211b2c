#include "host/script.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "host/day_count.h"

namespace nsthost {
namespace {

TEST(SplitArguments, BlanksQuotesAndEmptyArguments) {
    struct Case {
        const char* line;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"request ABC 5", {"request", "ABC", "5"}},
        {"  a\tb   c  ", {"a", "b", "c"}},
        {"a \"two words\" b", {"a", "two words", "b"}},
        {"a \"\" b", {"a", "", "b"}},
        {"\"\"", {""}},
        {"a \"\"", {"a", ""}},
        {"x\"y z\"w", {"xy zw"}},
        {R"("say \"hi\"" "back\\slash")", {"say \"hi\"", "back\\slash"}},
        {R"("a\b")", {"a\\b"}},
        {"a b\r", {"a", "b"}},
        {"caf\xE9 \"\xFF\"", {"caf\xE9", "\xFF"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args;
        std::string error;
        ASSERT_TRUE(SplitArguments(c.line, &args, &error)) << c.line;
        EXPECT_EQ(args, c.args) << c.line;
    }
}

TEST(SplitArguments, UnterminatedQuoteFails) {
    for (const char* line : {"a \"b", "\"", R"("a\")"}) {
        std::vector<std::string> args;
        std::string error;
        EXPECT_FALSE(SplitArguments(line, &args, &error)) << line;
        EXPECT_EQ(error, "unterminated quote");
    }
}

TEST(ParseScriptLine, Commands) {
    ScriptCommand cmd;
    std::string error;
    ASSERT_EQ(ParseScriptLine("request ABC 5 2011-08-01", &cmd, &error), LineResult::kCommand);
    EXPECT_EQ(cmd.kind, CommandKind::kRequest);
    EXPECT_EQ(cmd.symbol, "ABC");
    EXPECT_EQ(cmd.interval, 5.0f);
    EXPECT_EQ(cmd.start, 40756.0);
    EXPECT_EQ(cmd.description, "");
    EXPECT_EQ(cmd.category, "");
    EXPECT_EQ(cmd.columns, "Date,Open,High,Low,Close,Volume");

    ASSERT_EQ(ParseScriptLine(R"(request "A B" -0.0 40756.5 "d e" "" "")", &cmd, &error),
              LineResult::kCommand);
    EXPECT_EQ(cmd.symbol, "A B");
    EXPECT_TRUE(cmd.interval == 0.0f && std::signbit(cmd.interval));
    EXPECT_EQ(cmd.start, 40756.5);
    EXPECT_EQ(cmd.description, "d e");
    EXPECT_EQ(cmd.columns, "");

    ASSERT_EQ(ParseScriptLine("credentials \"\" pw", &cmd, &error), LineResult::kCommand);
    EXPECT_EQ(cmd.kind, CommandKind::kCredentials);
    EXPECT_EQ(cmd.user, "");
    EXPECT_EQ(cmd.password, "pw");

    ASSERT_EQ(ParseScriptLine("pump 0.25", &cmd, &error), LineResult::kCommand);
    EXPECT_EQ(cmd.seconds, 0.25);
    ASSERT_EQ(ParseScriptLine("remove ABC 1440", &cmd, &error), LineResult::kCommand);
    EXPECT_EQ(cmd.kind, CommandKind::kRemove);
    EXPECT_EQ(cmd.interval, 1440.0f);
    ASSERT_EQ(ParseScriptLine("unload", &cmd, &error), LineResult::kCommand);
    EXPECT_EQ(cmd.kind, CommandKind::kUnload);
    ASSERT_EQ(ParseScriptLine("load /x/y.so", &cmd, &error), LineResult::kCommand);
    EXPECT_EQ(cmd.path, "/x/y.so");

    EXPECT_EQ(ParseScriptLine("  # comment \"", &cmd, &error), LineResult::kEmpty);
    EXPECT_EQ(ParseScriptLine("", &cmd, &error), LineResult::kEmpty);
}

TEST(ParseScriptLine, MalformedLinesSayWhy) {
    struct Case {
        const char* line;
        const char* error;
    };
    const Case cases[] = {
        {"fetch ABC", "unknown command 'fetch'"},
        {"Request ABC 5 2011-08-01", "unknown command 'Request'"},
        {"request ABC 5", "wrong number of arguments"},
        {"request A 5 2011-08-01 d c cols extra", "wrong number of arguments"},
        {"request ABC five 2011-08-01", "bad interval 'five'"},
        {"request ABC 5x 2011-08-01", "bad interval '5x'"},
        {"request ABC 5 2011-02-29", "bad start '2011-02-29'"},
        {"request ABC 5 2011-08-01T24:00:00", "bad start"},
        {"request ABC 5 2011-8-1", "bad start"},
        {"request ABC 5 yesterday", "bad start"},
        {"remove ABC", "wrong number of arguments"},
        {"pump", "wrong number of arguments"},
        {"pump -1", "bad seconds '-1'"},
        {"pump soon", "bad seconds"},
        {"unload now", "wrong number of arguments"},
        {"credentials u", "wrong number of arguments"},
        {"credentials \"u p", "unterminated quote"},
    };
    for (const Case& c : cases) {
        ScriptCommand cmd;
        std::string error;
        EXPECT_EQ(ParseScriptLine(c.line, &cmd, &error), LineResult::kMalformed) << c.line;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.line << " -> " << error;
    }
}

TEST(DayCount, ParseAndFormat) {
    struct Case {
        const char* text;
        double value;
        const char* formatted;
    };
    const Case cases[] = {
        {"1899-12-30", 0.0, "1899-12-30 00:00:00"},
        {"2011-08-01", 40756.0, "2011-08-01 00:00:00"},
        {"2011-08-01T09:30:00", 40756.395833333336, "2011-08-01 09:30:00"},
        {"2011-08-01T12:00:00", 40756.5, "2011-08-01 12:00:00"},
        {"2012-02-29T23:59:59", 40968.99998842592, "2012-02-29 23:59:59"},
        {"1899-12-29T06:00:00", -1.25, "1899-12-29 06:00:00"},
        {"1900-01-01", 2.0, "1900-01-01 00:00:00"},
        {"40756.5", 40756.5, "2011-08-01 12:00:00"},
        {"-1.25", -1.25, "1899-12-29 06:00:00"},
    };
    for (const Case& c : cases) {
        double value = -99.0;
        ASSERT_TRUE(ParseDayCount(c.text, &value)) << c.text;
        EXPECT_NEAR(value, c.value, 1e-9) << c.text;
        EXPECT_EQ(FormatDayCount(value), c.formatted) << c.text;
    }
    for (const char* bad : {"", "2011-13-01", "0099-01-01", "2011-08-01T09:30", "1e", "nan1"}) {
        double value = -99.0;
        EXPECT_FALSE(ParseDayCount(bad, &value)) << bad;
        EXPECT_EQ(value, -99.0);
    }
    EXPECT_EQ(FormatDayCount(std::nan("")), "-");
    EXPECT_EQ(FormatDayCount(1e12), "-");
    // 23:59:59.9 rounds into the next day.
    EXPECT_EQ(FormatDayCount(40756.0 + 86399.9 / 86400.0), "2011-08-02 00:00:00");
}

}  // namespace
}  // namespace nsthost
