// The shared option reader: what each kind of argument does, and where and
// why a reading stops.
#include "cli/option_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvella::cli {
namespace {

TEST(OptionParser, ReadsTheTableInOrderAndStopsAtTheFirstFault) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        bool parsed;
        COptionFault::Kind fault;
        const char* faultOption;
        const char* faultValue;
        const char* seen;  // what the table took, in order
        const char* stoppedAt;
    };
    const Case cases[] = {
        {"nothing", {}, true, COptionFault::kNone, "", "", "", ""},
        {"flags by either name", {"-q", "--count"}, true, COptionFault::kNone, "", "", "q c ", ""},
        {"a value is the next argument whatever it looks like",
         {"--log", "--help", "-"},
         true,
         COptionFault::kNone,
         "",
         "",
         "log=--help op=- ",
         ""},
        {"a stop ends the reading before later faults",
         {"-q", "--help", "--bogus"},
         true,
         COptionFault::kNone,
         "",
         "",
         "q ",
         "--help"},
        {"an unknown option",
         {"-q", "--bogus", "-q"},
         false,
         COptionFault::kUnknownOption,
         "--bogus",
         "",
         "q ",
         ""},
        {"a value missing at the end",
         {"--log"},
         false,
         COptionFault::kMissingValue,
         "--log",
         "",
         "",
         ""},
        {"a value refused",
         {"--log", "bad", "-q"},
         false,
         COptionFault::kBadValue,
         "--log",
         "bad",
         "log=bad ",
         ""},
        {"an operand refused",
         {"one", "two"},
         false,
         COptionFault::kBadValue,
         "",
         "two",
         "op=one op=two ",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string seen;
        bool quiet = false, count = false;
        COptionParser parser;
        parser.StopAt({"--help", "--version"})
            .Flag({"-q", "--quiet"}, &quiet)
            .Flag({"--count"}, &count)
            .Value({"--log"},
                   [&](const std::string& value) {
                       seen += "log=" + value + " ";
                       return value != "bad";
                   })
            .Operands([&](const std::string& value) {
                seen += "op=" + value + " ";
                return seen.find("op=") == seen.rfind("op=");
            });
        COptionFault fault;
        std::string stoppedAt;
        EXPECT_EQ(parser.Parse(c.args, &fault, &stoppedAt), c.parsed);
        EXPECT_EQ(fault.kind, c.fault);
        EXPECT_EQ(fault.option, c.faultOption);
        EXPECT_EQ(fault.value, c.faultValue);
        EXPECT_EQ(stoppedAt, c.stoppedAt);
        const std::string flags = std::string(quiet ? "q " : "") + (count ? "c " : "");
        EXPECT_EQ(flags + seen, c.seen);
    }

    // Without operands, any argument outside the table is unknown.
    COptionParser none;
    COptionFault fault;
    EXPECT_FALSE(none.Parse({"file"}, &fault));
    EXPECT_EQ(fault.kind, COptionFault::kUnknownOption);
    EXPECT_EQ(fault.option, "file");
}

}  // namespace
}  // namespace orvella::cli
