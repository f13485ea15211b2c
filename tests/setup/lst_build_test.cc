// The LST build through the dialog's handler, on real files in a temporary
// host directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "setup/setup_controller.h"
#include "setup/symbol_file_location.h"
#include "tests/setup/fake_settings_store.h"
#include "tests/setup/test_view.h"

namespace orvella {
namespace {

using test::CFakeSettingsStore;
using test::CTempFolder;
using test::CTestView;
using Check = CSetupView::Check;
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
        {"a last line without line feed is not processed",
         std::string(kHeader) + Line("A", "1", "NYSE", "", "EQUITY") + "B\t2\tNYSE\t\tEQUITY\t",
         {{"NYSE_STOCK.LST", Out("A", "1")}}},
        {"empty exchange continues, missing type names exchange_",
         std::string(kHeader) + Line("A", "1", "NYSE", "", "EQUITY") +
             Line("B", "2", "", "", "EQUITY") + "C\t3\tAMEX\t\r\n",
         {{"NYSE_STOCK.LST", Out("A", "1") + Out("B", "2")}, {"AMEX_.LST", Out("C", "3")}}},
        {"description is written without escaping",
         std::string(kHeader) + Line("Q", "say \"hi\", ok", "X", "", "INDEX"),
         {{"X_INDEX.LST", Out("Q", "say \"hi\", ok")}}},
        {"bare line feeds lose the last character",
         std::string("h\n") + "A\t1\tNYSE\t\tEQUITY\t0\n" + "B\t2\tAMEX\t\tEQUITY\t\n",
         {{"NYSE_STOCK.LST", Out("A", "1")}, {"AMEX_.LST", Out("B", "2")}}},
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
    // Four blocks of data and the final empty read each step the bar.
    EXPECT_EQ(view.steps, 5);
    EXPECT_TRUE(view.HasStatus("We have read in 131071 bytes in from the symbol file."));
    EXPECT_TRUE(view.HasStatus("We have read in " + std::to_string(input.size()) +
                               " bytes in from the symbol file."));
    EXPECT_EQ(view.pumps, 0);
}

TEST_F(LstBuildTest, FailuresEndTheJobWithAStatusLine) {
    // No symbol file.
    {
        CSetupController controller(&view, &store);
        EXPECT_FALSE(controller.BuildLstFiles());
        EXPECT_EQ(view.status.back(), "File could not be opened 2; No such file or directory");
        ExpectJobEnded();
    }
    // An exchange file that cannot be created.
    std::filesystem::create_directories(lstFolder + "NYSE_STOCK.LST");
    EXPECT_FALSE(Build(std::string(kHeader) + Line("A", "1", "NYSE", "", "EQUITY")));
    EXPECT_TRUE(view.HasStatus("LST file could not be created " + lstFolder + "NYSE_STOCK.LST"));
    EXPECT_FALSE(view.HasStatus("We finished building"));
    ExpectJobEnded();
    // An LST folder that cannot be made.
    std::filesystem::remove_all(root.Path() + "/Servers");
    test::WriteFile(root.Path() + "/Servers", "a file");
    EXPECT_FALSE(Build(kHeader));
    EXPECT_EQ(view.status, std::vector<std::string>{"Failed to create or find the " + lstFolder +
                                                    " directory!"});
    ExpectJobEnded();
}

TEST_F(LstBuildTest, AnInvalidDirectoryStartsNothing) {
    view.directory = root.Path() + "/missing";
    EXPECT_FALSE(Build(kHeader));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, "Is not a valid directory!");
    EXPECT_EQ(view.messages[0].caption, "OrvellaNSTSetup");
    EXPECT_EQ(view.disabledCount, 0);
    EXPECT_TRUE(view.status.empty());
    EXPECT_FALSE(std::filesystem::exists(root.Path() + "/Servers"));
}

}  // namespace
}  // namespace orvella
