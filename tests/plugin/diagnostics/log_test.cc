// The diagnostic log: line format, file naming, the Logging switch and the
// failure to open the file.
#include "plugin/diagnostics/log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "platform/message_box.h"
#include "tests/plugin/boundary/boundary_test_support.h"

namespace orvella {
namespace {

TEST(LogLine, EndsInExactlyOneCarriageReturnLineFeed) {
    struct Case {
        std::wstring text;
        std::string line;
    };
    const Case cases[] = {
        {L"abc", "S,abc\r\n"},     {L"abc\n", "S,abc\r\n"},         {L"abc\r\n", "S,abc\r\n"},
        {L"", "S,\r\n"},           {L"a\nb", "S,a\nb\r\n"},         {L"\n\n", "S,\n\r\n"},
        {L"abc\r", "S,abc\r\r\n"}, {L"caf\u00e9", "S,caf\xe9\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BuildLogLine(L"S", c.text), c.line);
    }
}

TEST(FormatText, ExpandsWideTextsOfAnyLength) {
    EXPECT_EQ(FormatText(L"%ls=%d;%.2f", L"caf\u00e9", -7, 1.5), L"caf\u00e9=-7;1.50");
    const std::wstring long_text(5000, L'x');
    EXPECT_EQ(FormatText(L"[%ls]", long_text.c_str()), L"[" + long_text + L"]");
    // 8-bit text the C locale cannot encode cannot be expanded; the format
    // comes back instead of a loop without end.
    EXPECT_EQ(FormatText(L"[%s]", "caf\xe9"), L"[%s]");
}

class LogFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::UsePrivateRegistry();
        test::ResetPluginState();
    }
    void TearDown() override { test::ResetPluginState(); }

    test::CTempDir m_dir;
    test::CBoxRecorder m_boxes;
};

TEST_F(LogFileTest, FileLiesInTheHostFolderNamedByItsOpeningTime) {
    test::LogInto(m_dir.path());
    ASSERT_TRUE(LogFileIsOpen());
    WriteLogLine(L"abc");
    LogFormat(L"n=%d", 42);
    CloseLogFile();

    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(std::regex_match(names[0], std::regex(R"(OrvellaForNST\d{8}_\d{6}\.log)")))
        << names[0];
    EXPECT_TRUE(std::regex_match(test::ReadLogs(m_dir.path()),
                                 std::regex(R"(\d{8}_\d{6},abc\r\n\d{8}_\d{6},n=42\r\n)")));
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(LogFileTest, LoggingOffCreatesNothing) {
    test::LogInto({});
    WriteLogLine(L"abc");
    EXPECT_FALSE(LogFileIsOpen());
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.path()));
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(LogFileTest, FileThatCannotBeCreatedIsReportedAtEveryEntryUntilLoggingStops) {
    test::LogInto(m_dir.path() / "missing");
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text, L"Log File could not be opened (2)");
    EXPECT_EQ(m_boxes.boxes[0].caption, L"OrvellaForNST");
    WriteLogLine(L"one");
    WriteLogLine(L"two");
    EXPECT_EQ(m_boxes.boxes.size(), 3u);

    test::WriteSettingDword(L"Logging", 0);
    WriteLogLine(L"three");
    WriteLogLine(L"four");
    EXPECT_EQ(m_boxes.boxes.size(), 3u);
}

void LogFromInsideTheBox(const std::wstring&, const std::wstring&, unsigned, void* count) {
    ++*static_cast<int*>(count);
    WriteLogLine(L"written while the box is up");
}

TEST_F(LogFileTest, EntryWrittenWhileTheFailureBoxIsUpStartsNoSecondAttempt) {
    int boxes = 0;
    test::WriteSettingDword(L"Logging", 1);
    test::WriteSettingText(L"NovaScopeRoot", (m_dir.path() / "missing").wstring());
    platform::SetMessageBoxObserver(&LogFromInsideTheBox, &boxes);
    OpenLogFile();
    WriteLogLine(L"entry");
    platform::SetMessageBoxObserver(nullptr, nullptr);
    EXPECT_EQ(boxes, 2);
}

TEST_F(LogFileTest, ModuleVersionComesFromTheVersionBlock) {
    test::LogInto(m_dir.path());
    EXPECT_EQ(LogModuleVersion(), L"" ORVELLA_TEST_VERSION);
    const std::string log = test::ReadLogs(m_dir.path());
    EXPECT_NE(log.find(",DLL is /"), std::string::npos);
    EXPECT_NE(log.find("; version " ORVELLA_TEST_VERSION "\r\n"), std::string::npos);
}

}  // namespace
}  // namespace orvella
