// The LST build through the dialog's handler, on real files in a temporary
// host directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "setup/lst_builder.h"
#include "setup/lst_output_file.h"
#include "setup/setup_controller.h"
#include "setup/symbol_file_location.h"
#include "testing/setup/fake_settings_store.h"
#include "testing/setup/test_os.h"
#include "testing/setup/test_view.h"

namespace orvella {
namespace {

using test::CFakeSettingsStore;
using test::CTempFolder;
using test::CTestView;
using Check = CSetupView::Check;
using namespace std::string_literals;
using Files = std::map<std::string, std::string>;

constexpr char kHeader[] = "symbol\tdescription\texchange\tlisted\ttype\tsic\tfront\tnaics\r\n";

// One symbol-file line with CR LF.
std::string Line(const std::string& symbol, const std::string& description,
                 const std::string& exchange, const std::string& market, const std::string& type) {
    return symbol + "\t" + description + "\t" + exchange + "\t" + market + "\t" + type +
           "\t0\t\t0\r\n";
}

std::string Out(const std::string& symbol, const std::string& description) {
    return symbol + ",\"" + description + "\"\r\n";
}

class LstBuildTest : public ::testing::Test {
  protected:
    void SetUp() override {
        view.website = "www.h.example/product/mktlist_v2.txt";
        view.port = "80";
        view.directory = root.Path();
        lstFolder = LstFolder(root.Path());
    }

    bool Build(const std::string& symbolFile) {
        test::WriteFile(root.Path() + "/mktlist_v2.txt", symbolFile);
        CSetupController controller(&view, &store);
        return controller.BuildLstFiles();
    }

    Files LstFiles() const {
        Files files;
        for (const auto& entry : std::filesystem::directory_iterator(lstFolder)) {
            files[entry.path().filename().string()] = test::ReadFile(entry.path().string());
        }
        return files;
    }

    void ExpectJobEnded() {
        EXPECT_TRUE(view.buttonsEnabled);
        EXPECT_EQ(view.waitDepth, 0);
        EXPECT_EQ(view.progress, 0);
    }

    CTempFolder root;
    std::string lstFolder;
    CTestView view;
    CFakeSettingsStore store;
};

TEST_F(LstBuildTest, FilesLinesByExchangeTypeAndOptionInitial) {
    struct Case {
        const char* name;
        std::string input;
        Files expected;
    } cases[] = {
        {"header only", kHeader, {}},
        {"equity becomes STOCK",
         std::string(kHeader) + Line("ABC", "Abc Corp", "NYSE", "NYSE", "EQUITY"),
         {{"NYSE_STOCK.LST", Out("ABC", "Abc Corp")}}},
        {"stock options split by first letter",
         std::string(kHeader) + Line("AXC", "a1", "OPRA", "X", "IEOPTION") +
             Line("AYD", "a2", "OPRA", "X", "IEOPTION") +
             Line("BQZ", "b1", "OPRA", "X", "IEOPTION"),
         {{"OPRA_STOCKOPT_A.LST", Out("AXC", "a1") + Out("AYD", "a2")},
          {"OPRA_STOCKOPT_B.LST", Out("BQZ", "b1")}}},
        {"FOPTION is filed under FUTREOPT",
         std::string(kHeader) + Line("ESZ9", "e", "CME", "CME", "FOPTION") +
             Line("NQZ9", "n", "CME", "CME", "FOPTION"),
         {{"CME_FUTREOPT_E.LST", Out("ESZ9", "e")}, {"CME_FUTREOPT_N.LST", Out("NQZ9", "n")}}},
        {"a key that returns appends in file order",
         std::string(kHeader) + Line("A", "1", "NYSE", "", "EQUITY") +
             Line("B", "2", "NASDAQ", "", "EQUITY") + Line("C", "3", "NYSE", "", "EQUITY"),
         {{"NYSE_STOCK.LST", Out("A", "1") + Out("C", "3")}, {"NASDAQ_STOCK.LST", Out("B", "2")}}},
        {"a last line without line feed is built",
         std::string(kHeader) + Line("A", "1", "NYSE", "", "EQUITY") + "B\t2\tNYSE\t\tEQUITY\t",
         {{"NYSE_STOCK.LST", Out("A", "1") + Out("B", "2")}}},
        {"a last line ended by a carriage return alone",
         std::string(kHeader) + Line("A", "1", "NYSE", "", "EQUITY") + "B\t2\tNYSE\t\tEQUITY\t\r",
         {{"NYSE_STOCK.LST", Out("A", "1") + Out("B", "2")}}},
        {"empty exchange continues, missing type names exchange_",
         std::string(kHeader) + Line("A", "1", "NYSE", "", "EQUITY") +
             Line("B", "2", "", "", "EQUITY") + "C\t3\tAMEX\t\r\n",
         {{"NYSE_STOCK.LST", Out("A", "1") + Out("B", "2")}, {"AMEX_.LST", Out("C", "3")}}},
        {"description is written without escaping",
         std::string(kHeader) + Line("Q", "say \"hi\", ok", "X", "", "INDEX"),
         {{"X_INDEX.LST", Out("Q", "say \"hi\", ok")}}},
        {"bare line feeds keep every character",
         std::string("h\n") + "A\t1\tNYSE\t\tEQUITY\t0\n" + "B\t2\tAMEX\t\tEQUITY\t\n" +
             "C\t3\tAMEX\t\tEQUITY\t\r\n" + "D\t4\tAMEX\t\tEQUITY\t",
         {{"NYSE_STOCK.LST", Out("A", "1")},
          {"AMEX_STOCK.LST", Out("B", "2") + Out("C", "3") + Out("D", "4")}}},
        {"hostile keys stay in the folder",
         std::string(kHeader) + Line("A", "1", "../x", "", "EQUITY") +
             Line("B", "2", "a/b", "", "EQUITY") + Line("C", "3", "a_b", "", "EQUITY") +
             Line("", "4", "N", "", "IEOPTION"),
         {{"___x_STOCK.LST", Out("A", "1")},
          {"a_b_STOCK.LST", Out("B", "2") + Out("C", "3")},
          {"N_STOCKOPT__.LST", Out("", "4")}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(root.Path() + "/Servers");
        view.status.clear();
        ASSERT_TRUE(Build(c.input));
        EXPECT_EQ(LstFiles(), c.expected);
        ExpectJobEnded();
        ASSERT_FALSE(view.status.empty());
        EXPECT_EQ(view.status.front(), "Beginning to process the symbol file!");
        EXPECT_EQ(view.status.back(), "We finished building the Novascope LST files!");
    }
    // Nothing was written beside the host directory.
    EXPECT_FALSE(std::filesystem::exists(root.Path() + "/Servers/x_STOCK.LST"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root.Path()),
                            std::filesystem::directory_iterator()),
              2);
}

TEST_F(LstBuildTest, OptionalListsReceiveTheirLines) {
    view.checks = {{Check::kContinuous, true},
                   {Check::kMeridexSpot, true},
                   {Check::kMeridexSpotComposite, true}};
    const std::string input = std::string(kHeader) +
                              Line("@ES#", "E-mini", "CME", "CME", "FUTURE") +
                              Line("@ESZ9", "E-mini Dec", "CME", "CME", "FUTURE") +
                              Line("EURUSD", "Euro Spot", "FX", "MERIDEX", "FOREX") +
                              Line("GBPUSD", "pound sPoT rate", "FX", "MERIDEX", "FOREX") +
                              Line("JPYUSD", "yen spot", "FX", "OTHER", "FOREX") +
                              Line("EURUSD.COMP", "Euro composite", "FX", "MERIDEX", "FOREX") +
                              Line("X#", "not a future", "CME", "CME", "INDEX");
    ASSERT_TRUE(Build(input));
    const Files files = LstFiles();
    EXPECT_EQ(files.at("future_c.lst"), Out("@ES#", "E-mini"));
    EXPECT_EQ(files.at("meridexSpot.lst"),
              Out("EURUSD", "Euro Spot") + Out("GBPUSD", "pound sPoT rate"));
    EXPECT_EQ(files.at("meridexForexComposite.lst"), Out("EURUSD.COMP", "Euro composite"));
    EXPECT_EQ(files.at("FX_FOREX.LST"),
              Out("EURUSD", "Euro Spot") + Out("GBPUSD", "pound sPoT rate") +
                  Out("JPYUSD", "yen spot") + Out("EURUSD.COMP", "Euro composite"));
}

TEST_F(LstBuildTest, ChosenOptionalListsAreCreatedEmptyForAHeaderOnlyFile) {
    view.checks = {{Check::kContinuous, true}, {Check::kMeridexSpotComposite, true}};
    ASSERT_TRUE(Build(kHeader));
    EXPECT_EQ(LstFiles(), (Files{{"future_c.lst", ""}, {"meridexForexComposite.lst", ""}}));
}

TEST_F(LstBuildTest, LinesSpanningReadBlocksAreWholeAndReported) {
    std::string input = kHeader;
    std::string expected;
    for (int i = 0; input.size() < 400000; ++i) {
        const std::string symbol = "S" + std::to_string(i);
        const std::string description = "Description number " + std::to_string(i * 7);
        input += Line(symbol, description, "NYSE", "NYSE", "EQUITY");
        expected += Out(symbol, description);
    }
    ASSERT_TRUE(Build(input));
    EXPECT_EQ(LstFiles(), (Files{{"NYSE_STOCK.LST", expected}}));
    // The bar showed the share of the file read, up to the whole.
    ASSERT_FALSE(view.progressShown.empty());
    EXPECT_EQ(view.progressShown.back().done, static_cast<int64_t>(input.size()));
    EXPECT_EQ(view.progressShown.back().total, static_cast<int64_t>(input.size()));
    EXPECT_TRUE(view.HasStatus("We have read in 131071 bytes in from the symbol file."));
    EXPECT_TRUE(view.HasStatus("We have read in " + std::to_string(input.size()) +
                               " bytes in from the symbol file."));
    // Events run after every block and the final read, so Cancel works.
    EXPECT_EQ(view.pumps, 5);
}

TEST_F(LstBuildTest, CancelLeavesNoHalfWrittenLstFile) {
    std::string input = kHeader;
    for (int i = 0; input.size() < 400000; ++i) {
        input += Line("S" + std::to_string(i), "Description " + std::to_string(i),
                      i % 2 == 0 ? "NYSE" : "NASDAQ", "", "EQUITY");
    }
    struct Stage {
        const char* name;
        bool beforeTheJob;
        int64_t cancelAfter;  // bytes read when Cancel is pressed
    };
    const Stage stages[] = {
        {"Ctrl-C before the job started", true, 0},
        {"after the first block", false, 1},
        {"after the last block", false, static_cast<int64_t>(input.size())},
    };
    view.checks[Check::kContinuous] = true;
    for (const Stage& stage : stages) {
        SCOPED_TRACE(stage.name);
        ASSERT_TRUE(Build(input));  // an earlier, whole build
        ASSERT_EQ(LstFiles().size(), 3u);
        CSetupController controller(&view, &store);
        if (stage.beforeTheJob)
            controller.RequestCancel();
        view.onProgress = [&](const JobProgress& shown) {
            EXPECT_TRUE(view.cancelShown);
            EXPECT_EQ(shown.total, static_cast<int64_t>(input.size()));
            if (shown.done >= stage.cancelAfter && !stage.beforeTheJob)
                controller.RequestCancel();
        };
        EXPECT_FALSE(controller.BuildLstFiles());
        view.onProgress = nullptr;
        EXPECT_EQ(LstFiles(), Files{});
        EXPECT_TRUE(
            view.HasStatus("The build was cancelled; the 3 LST files it had begun were "
                           "removed."));
        EXPECT_FALSE(view.HasStatus("We finished building the Novascope LST files!"));
        EXPECT_FALSE(view.cancelShown);
        EXPECT_FALSE(controller.CancelRequested());
        ExpectJobEnded();
    }
}

// A build writes over the files of the one before, which were longer or
// shorter; a file whose key does not come back stays as it was.
TEST_F(LstBuildTest, ARebuildReplacesTheFilesOfItsKeys) {
    std::string longer = kHeader, shorter = kHeader;
    std::string longerOut, shorterOut;
    for (int i = 0; i < 3000; ++i) {
        longer += Line("S" + std::to_string(i), "long description", "NYSE", "", "EQUITY");
        longerOut += Out("S" + std::to_string(i), "long description");
    }
    for (int i = 0; i < 20; ++i) {
        shorter += Line("T" + std::to_string(i), "d", "NYSE", "", "EQUITY");
        shorterOut += Out("T" + std::to_string(i), "d");
    }
    ASSERT_TRUE(Build(longer + Line("O", "old", "OLD", "", "EQUITY")));
    ASSERT_TRUE(Build(shorter));
    EXPECT_EQ(LstFiles(),
              (Files{{"NYSE_STOCK.LST", shorterOut}, {"OLD_STOCK.LST", Out("O", "old")}}));
    ASSERT_TRUE(Build(longer));
    EXPECT_EQ(LstFiles(),
              (Files{{"NYSE_STOCK.LST", longerOut}, {"OLD_STOCK.LST", Out("O", "old")}}));
}

// A build stopped by a failed write leaves no list cut short: the files it
// had begun are removed, the others stay as they were.
TEST_F(LstBuildTest, AFailedWriteRemovesTheFilesTheBuildHadBegun) {
    view.checks[Check::kContinuous] = true;
    ASSERT_TRUE(Build(std::string(kHeader) + Line("O", "old", "OLD", "", "EQUITY") +
                      Line("A", "1", "NYSE", "", "EQUITY")));
    const std::string kept = LstFiles().at("OLD_STOCK.LST");
    constexpr uint64_t kLimit = 65536;
    std::string input = std::string(kHeader) + Line("N", "n", "NASDAQ", "", "EQUITY");
    for (int i = 0; input.size() < 2 * kLimit; ++i)
        input += Line("S" + std::to_string(i), std::string(200, 'd'), "NYSE", "", "EQUITY");
    test::WriteFile(root.Path() + "/mktlist_v2.txt", input);
    test::CFileSizeLimit limit(kLimit);
    if (!limit.Supported())
        GTEST_SKIP() << "no limit of a file's size here";
    CSetupController controller(&view, &store);
    EXPECT_FALSE(controller.BuildLstFiles());
    EXPECT_EQ(LstFiles(), (Files{{"OLD_STOCK.LST", kept}}));
    EXPECT_TRUE(view.HasStatus("LST file could not be written " + lstFolder + "NYSE_STOCK.LST (" +
                               std::to_string(EFBIG) + "; " + FileErrorText(EFBIG) +
                               "); the build was stopped."));
    EXPECT_EQ(view.status.back(),
              "The build was stopped; the 3 LST files it had begun were removed.");
    ExpectJobEnded();
}

// Lines holding a NUL byte or longer than the limit are skipped one by one;
// the lines around them are filed as usual and the build says what it skipped.
TEST_F(LstBuildTest, MalformedLinesAreSkippedAndCounted) {
    constexpr size_t kMax = LstLimits::kMaxLineLength;
    // A data line of exactly size bytes before its line feed.
    auto sized = [](const std::string& symbol, size_t size) {
        const std::string line = Line(symbol, "", "NYSE", "", "EQUITY");
        return Line(symbol, std::string(size + 1 - line.size(), 'd'), "NYSE", "", "EQUITY");
    };
    auto description = [](const std::string& line) {
        return line.substr(2, line.find('\t', 2) - 2);
    };
    const std::string a = Line("A", "1", "NYSE", "", "EQUITY");
    const std::string c = Line("C", "3", "NYSE", "", "EQUITY");
    const std::string longest = sized("L", kMax);
    const std::string tooLong = sized("T", kMax + 1);
    // Two lines that end 1000 bytes before the first read block does.
    const std::string padFirst = sized("P", kMax);
    const std::string padSecond =
        sized("Q", CLstBuilder::kReadBlockSize - 1000 - std::strlen(kHeader) - padFirst.size() - 1);
    const std::string nulLine = "B\t2\0x\tNYSE\t\tEQUITY\t\r\n"s;
    const std::string nul = "it holds a NUL byte.";
    const std::string over = "it is longer than " + std::to_string(kMax) + " bytes.";
    const std::string ac = Out("A", "1") + Out("C", "3");
    struct Case {
        const char* name;
        std::string input;
        std::string nyse;  // NYSE_STOCK.LST, the only file
        int firstSkipped;  // its line number
        std::string why;
        long skipped;
    } cases[] = {
        {"a NUL byte skips its line only", kHeader + a + nulLine + c, ac, 3, nul, 1},
        {"a header with a NUL byte is still the header", "sym\0bol\r\n"s + a, Out("A", "1"), 1, nul,
         1},
        {"a line at the limit is taken, one byte more is skipped", kHeader + longest + tooLong + c,
         Out("L", description(longest)) + Out("C", "3"), 3, over, 1},
        {"an over-long line across read blocks",
         kHeader + a + std::string(3 * CLstBuilder::kReadBlockSize, 'x') + "\n" + c, ac, 3, over,
         1},
        {"a carried line that outgrows the limit in the next block",
         kHeader + padFirst + padSecond + tooLong + c,
         Out("P", description(padFirst)) + Out("Q", description(padSecond)) + Out("C", "3"), 4,
         over, 1},
        {"an over-long last line without line feed", kHeader + a + std::string(kMax + 1, 'x'),
         Out("A", "1"), 3, over, 1},
        {"only the first is described, all are counted",
         kHeader + nulLine + a + tooLong + nulLine + c, ac, 2, nul, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(root.Path() + "/Servers");
        test::WriteFile(root.Path() + "/mktlist_v2.txt", c.input);
        CSetupController controller(&view, &store);
        ASSERT_TRUE(controller.BuildLstFiles());
        EXPECT_EQ(LstFiles(), (Files{{"NYSE_STOCK.LST", c.nyse}}));
        EXPECT_EQ(controller.LstLinesSkipped(), c.skipped);
        EXPECT_EQ(
            std::count_if(view.status.begin(), view.status.end(),
                          [](const std::string& line) { return line.rfind("Line ", 0) == 0; }),
            1);
        EXPECT_TRUE(view.HasStatus("Line " + std::to_string(c.firstSkipped) +
                                   " of the symbol file was skipped: " + c.why));
        const std::vector<std::string> last(view.status.end() - 2, view.status.end());
        EXPECT_EQ(last,
                  (std::vector<std::string>{
                      "Malformed lines of the symbol file skipped: " + std::to_string(c.skipped),
                      "We finished building the Novascope LST files!"}));
        ExpectJobEnded();
    }
}

// A group whose file cannot be created is reported and its lines skipped; the
// other groups are built.
TEST_F(LstBuildTest, GroupsWhoseFileCannotBeCreatedAreSkipped) {
    const std::string longExchange(300, 'E');
    struct Case {
        const char* name;
        std::string exchange;  // of the group that fails
        std::vector<int>
            causes;  // the system's error number, POSIX's first, then the C runtime's of Windows
    } cases[] = {
        {"a folder in the file's place", "NYSE", {EISDIR, EACCES}},
        {"an exchange name too long for a file name", longExchange, {ENAMETOOLONG, ENOENT}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(root.Path() + "/Servers");
        std::filesystem::create_directories(lstFolder + "NYSE_STOCK.LST");
        ASSERT_TRUE(Build(std::string(kHeader) + Line("A", "1", c.exchange, "", "EQUITY") +
                          Line("B", "2", "AMEX", "", "EQUITY") +
                          Line("C", "3", c.exchange, "", "EQUITY") +
                          Line("D", "4", "", "", "EQUITY")));
        Files files = LstFiles();
        files.erase("NYSE_STOCK.LST");
        EXPECT_EQ(files, (Files{{"AMEX_STOCK.LST", Out("B", "2")}}));
        const std::string failed = lstFolder + c.exchange + "_STOCK.LST";
        std::vector<std::string> lines;
        for (int cause : c.causes) {
            lines.push_back("LST file could not be created " + failed + " (" +
                            std::to_string(cause) + "; " + FileErrorText(cause) +
                            "); its lines were skipped.");
        }
        const std::string& reported = view.status[view.status.size() - 3];
        EXPECT_NE(std::find(lines.begin(), lines.end(), reported), lines.end()) << reported;
        EXPECT_EQ(view.status[view.status.size() - 2],
                  "Lines skipped because their LST file could not be opened: 3");
        EXPECT_EQ(view.status.back(), "We finished building the Novascope LST files!");
        ExpectJobEnded();
    }
}

// More exchanges than files may be open, whether the process's limit or the
// build's bound is lower, or than the write pool holds blocks: files are
// closed and opened again for appending, or written out to make room, and
// every file gets all its lines in order, also lines longer than a block or
// the whole pool.
TEST_F(LstBuildTest, MoreExchangesThanOpenFilesOrBuffersAllow) {
    struct Case {
        const char* name;
        size_t freeDescriptors;  // the process's limit above those in use; 0: as it is
        size_t bound;
        size_t poolSize;
    } cases[] = {
        {"the process's limit", 8, LstLimits::kMaxOpenExchangeFiles, CLstWritePool::kDefaultSize},
        {"the build's bound", 0, 2, CLstWritePool::kDefaultSize},
        {"a pool of one block", 0, LstLimits::kMaxOpenExchangeFiles, 1},
        {"a pool of three blocks and a bound", 0, 5, 3 * CLstWritePool::kBlockSize},
    };
    view.checks = {{Check::kContinuous, true}};
    std::string input = kHeader;
    Files expected{{"future_c.lst", ""}};
    for (int i = 0; i < 900; ++i) {
        const std::string exchange = "X" + std::to_string(i * 7 % 300);
        const std::string symbol = "S" + std::to_string(i) + (i % 3 == 0 ? "#" : "");
        const std::string description =
            i % 50 == 0 ? std::string(CLstWritePool::kBlockSize + 10 * i, 'q') : "d";
        input += Line(symbol, description, exchange, "", "FUTURE");
        expected[exchange + "_FUTURE.LST"] += Out(symbol, description);
        if (i % 3 == 0)
            expected["future_c.lst"] += Out(symbol, description);
    }
    test::WriteFile(root.Path() + "/in.txt", input);
    LstOptions options;
    options.continuous = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(lstFolder);
        std::filesystem::create_directories(lstFolder);
        LstLimits limits;
        limits.maxOpenExchangeFiles = c.bound;
        limits.writePoolSize = c.poolSize;
        CLstBuilder builder(&view, lstFolder, options, limits);
        bool built = false;
        if (c.freeDescriptors > 0) {
            test::COpenFileLimit limit(c.freeDescriptors);
            if (!limit.Supported())
                continue;
            built = builder.Build(root.Path() + "/in.txt");
        } else {
            built = builder.Build(root.Path() + "/in.txt");
        }
        ASSERT_TRUE(built) << ::testing::PrintToString(view.status);
        EXPECT_EQ(LstFiles(), expected);
        EXPECT_EQ(builder.UnfiledLines(), 0);
    }
}

// The lines within a read block, found and split in one pass over 64 bytes
// at a time, against the line split of each line alone: tabs, NUL bytes and
// line ends on both sides of the edges of those 64 bytes, a carriage return
// before the line feed or not, and text without a line feed at the end.
TEST(LstLineScanner, AgreesWithTheLineSplit) {
    std::vector<std::string> lines = {
        "",
        "\r",
        "ABC",
        "ABC\tdesc\tEX\tMERIDEX\tEQUITY\t1\t\t2\r",
        "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t",
        "A\tB\tC\tD\tFOPTION",
        "A\tB\tC\tD\tIEOPTION\t",
        "A\tB\tC\tD\tIEOPTION\t\r",
        "A\tB\r\tC",
        std::string("A\0B\tC\tD\tE\tF\t", 13),
        std::string(130, 'x') + "\t" + std::string(63, 'y') + "\tz\t",
    };
    // Random lines of tabs, NUL bytes, carriage returns and letters, of up
    // to three windows of 64 bytes.
    uint32_t seed = 12345;
    for (int n = 0; n < 300; ++n) {
        std::string line;
        const int length = n * 7 % 200;
        for (int i = 0; i < length; ++i) {
            seed = seed * 1103515245u + 12345u;
            const char pick[] = {'\t', '\t', '\0', '\r', 'a', 'b', 'c', 'd'};
            line.push_back(pick[(seed >> 16) % sizeof(pick)]);
        }
        lines.push_back(line);
    }
    // All lines one after the other, starting at every offset within the
    // first 64 bytes, then an unfinished line.
    for (size_t offset = 0; offset < 65; offset += 3) {
        SCOPED_TRACE("at " + std::to_string(offset));
        std::string text(offset, 'x');
        for (const std::string& line : lines)
            text += line + "\n";
        text += "unfinished\tline";
        CLstLineScanner scanner(text.data() + offset, text.data() + text.size());
        for (const std::string& line : lines) {
            SCOPED_TRACE(::testing::PrintToString(line));
            const char* begin = scanner.LineStart();
            LstColumns columns;
            bool holdsNul = true;
            const char* feed = scanner.Next(&columns, &holdsNul);
            ASSERT_EQ(feed, begin + line.size());
            ASSERT_EQ(std::string_view(begin, line.size()), line);
            std::string_view plain = line;
            if (!plain.empty() && plain.back() == '\r')
                plain.remove_suffix(1);
            const LstColumns expected = SplitLstLine(plain);
            EXPECT_EQ(columns.symbol, expected.symbol);
            EXPECT_EQ(columns.description, expected.description);
            EXPECT_EQ(columns.exchange, expected.exchange);
            EXPECT_EQ(columns.market, expected.market);
            EXPECT_EQ(columns.type, expected.type);
            EXPECT_EQ(holdsNul, line.find('\0') != std::string::npos);
        }
        LstColumns columns;
        bool holdsNul = false;
        EXPECT_EQ(scanner.Next(&columns, &holdsNul), nullptr);
        EXPECT_EQ(std::string_view(scanner.LineStart()), "unfinished\tline");
    }
}

TEST_F(LstBuildTest, FailuresEndTheJobWithAStatusLine) {
    // No symbol file.
    {
        CSetupController controller(&view, &store);
        EXPECT_FALSE(controller.BuildLstFiles());
        EXPECT_EQ(view.status.back(), "File could not be opened 2; No such file or directory");
        ExpectJobEnded();
    }
    // An LST folder that cannot be made.
    std::filesystem::remove_all(root.Path() + "/Servers");
    test::WriteFile(root.Path() + "/Servers", "a file");
    EXPECT_FALSE(Build(kHeader));
    EXPECT_EQ(view.status, std::vector<std::string>{"Failed to create or find the " + lstFolder +
                                                    " directory!"});
    ExpectJobEnded();
}

TEST_F(LstBuildTest, AnInvalidDirectoryStartsNothing) {
    struct Case {
        std::string directory;
        std::string message;
    } cases[] = {
        {root.Path() + "/missing", MissingDirectoryText(root.Path() + "/missing")},
        {" " + root.Path() + "/missing\t", MissingDirectoryText(root.Path() + "/missing")},
        {"", kEmptyDirectoryText},
        {"  ", kEmptyDirectoryText},
        {" . ", kRelativeDirectoryText},
        {"nst", kRelativeDirectoryText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory);
        view.messages.clear();
        view.directory = c.directory;
        EXPECT_FALSE(Build(kHeader));
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].text, c.message);
        EXPECT_EQ(view.messages[0].caption, "OrvellaNSTSetup");
        EXPECT_EQ(view.messages[0].flags, kSetupMbIconError | kSetupMbSystemModal);
        EXPECT_EQ(view.disabledCount, 0);
        // Nothing is stored when the directory is refused.
        EXPECT_EQ(store.strings.count(kValueWebsite), 0u);
        EXPECT_TRUE(view.status.empty());
        EXPECT_EQ(store.strings.count(kValueNovaScopeRoot), 0u);
        EXPECT_FALSE(std::filesystem::exists(root.Path() + "/Servers"));
    }
}

// A store that keeps what it had: the jobs read the old host directory back.
class CStuckStore : public CFakeSettingsStore {
  public:
    void WriteString(const std::string& name, const std::string& value) override {
        if (name != kValueNovaScopeRoot)
            CFakeSettingsStore::WriteString(name, value);
    }
};

TEST_F(LstBuildTest, AStoredDirectoryThatIsNotAFullPathWritesNothing) {
    for (const char* stored : {"", "relative"}) {
        SCOPED_TRACE(stored);
        CStuckStore stuck;
        stuck.strings[kValueNovaScopeRoot] = stored;
        test::WriteFile(root.Path() + "/mktlist_v2.txt", kHeader);
        CSetupController controller(&view, &stuck);
        EXPECT_FALSE(controller.BuildLstFiles());
        EXPECT_FALSE(controller.DownloadSymbolFile());
        EXPECT_EQ(view.status, std::vector<std::string>{
                                   std::string("The stored NovaScope Install directory \"") +
                                   stored + "\" is not a full path; nothing was written."});
        ExpectJobEnded();
        EXPECT_FALSE(std::filesystem::exists("Servers"));
        EXPECT_FALSE(std::filesystem::exists("relative"));
    }
}

}  // namespace
}  // namespace orvella
