// The diagnostic log: line format, file naming, the Logging switch and the
// failure to open the file.
#include "plugin/diagnostics/log.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "platform/message_box.h"
#include "platform/text.h"
#include "plugin/boundary/host_date.h"
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

// Logging on with the host folder given as the registry holds it.
void LogIntoRoot(const std::wstring& root) {
    CloseLogFile();
    test::WriteSettingDword(L"Logging", 1);
    test::WriteSettingText(L"NovaScopeRoot", root);
    OpenLogFile();
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

TEST_F(LogFileTest, FileThatCannotBeCreatedIsReportedOnceAndTriedAgainQuietly) {
    const std::filesystem::path missing = m_dir.path() / "missing";
    test::LogInto(missing);
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text, L"Log File could not be opened (2)");
    EXPECT_EQ(m_boxes.boxes[0].caption, L"OrvellaForNST");
    WriteLogLine(L"one");
    WriteLogLine(L"two");
    EXPECT_EQ(m_boxes.boxes.size(), 1u);

    // The next entry after the folder appears opens the file.
    std::filesystem::create_directory(missing);
    WriteLogLine(L"three");
    EXPECT_TRUE(LogFileIsOpen());
    EXPECT_TRUE(std::regex_match(test::ReadLogs(missing), std::regex(R"(\d{8}_\d{6},three\r\n)")));
    EXPECT_EQ(m_boxes.boxes.size(), 1u);
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
    EXPECT_EQ(boxes, 1);
}

TEST_F(LogFileTest, FolderWithLettersBeyondAscii) {
    // The folder's name as the file system holds it (UTF-8 bytes), stored as
    // the setup program stores 8-bit text.
    const std::string name = "Z\xC3\xBCrich";
    std::filesystem::create_directory(m_dir.path() / name);
    LogIntoRoot(platform::WidenText((m_dir.path() / name).string()));
    ASSERT_TRUE(LogFileIsOpen());
    WriteLogLine(L"abc");
    CloseLogFile();
    EXPECT_NE(test::ReadLogs(m_dir.path() / name).find(",abc\r\n"), std::string::npos);
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(LogFileTest, NoFileWithoutAnAbsoluteHostFolder) {
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(m_dir.path());
    for (const wchar_t* root : {L"", L"relative", L".", L"./"}) {
        std::filesystem::create_directories(m_dir.path() / "relative");
        ::testing::internal::CaptureStderr();
        LogIntoRoot(root);
        WriteLogLine(L"one");
        WriteLogLine(L"two");
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_FALSE(LogFileIsOpen());
        EXPECT_EQ(said, std::string("OrvellaForNST: no log file is written: the NovaScope install "
                                    "directory (NovaScopeRoot) is ") +
                            (*root ? "not an absolute path" : "not set") + "\n");
        CloseLogFile();
    }
    std::filesystem::current_path(before);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_dir.path())) {
        EXPECT_TRUE(entry.is_directory()) << entry.path();
    }
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(LogFileTest, ASessionInTheSameSecondGetsItsOwnFile) {
    // Files of an earlier session for this second and the next, so that the
    // opening below meets one whenever it runs.
    const HostDate now = CurrentLocalDate();
    std::vector<std::filesystem::path> earlier;
    for (const double offset : {0.0, 1.0 / 86400}) {
        const HostDate at{now.value + offset, kDateValid};
        earlier.push_back(
            m_dir.path() /
            ("OrvellaForNST" + platform::NarrowText(FormatDate(at, L"%Y%m%d_%H%M%S")) + ".log"));
        std::FILE* file = std::fopen(earlier.back().c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fputs("earlier\r\n", file);
        std::fclose(file);
    }
    test::LogInto(m_dir.path());
    WriteLogLine(L"later");
    CloseLogFile();
    for (const std::filesystem::path& file : earlier) {
        std::ifstream in(file);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text, "earlier\r\n") << file;
    }
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    ASSERT_EQ(names.size(), 3u);
    EXPECT_TRUE(std::any_of(names.begin(), names.end(),
                            [](const std::string& n) {
                                return std::regex_match(
                                    n, std::regex(R"(OrvellaForNST\d{8}_\d{6}_2\.log)"));
                            }))
        << names[0] << names[1] << names[2];
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(LogFileTest, ModuleVersionComesFromTheVersionBlock) {
    test::LogInto(m_dir.path());
    EXPECT_EQ(LogModuleVersion(), L"" ORVELLA_TEST_VERSION);
    const std::string log = test::ReadLogs(m_dir.path());
    EXPECT_NE(log.find(",DLL is /"), std::string::npos);
    EXPECT_NE(log.find("; version " ORVELLA_TEST_VERSION "\r\n"), std::string::npos);
}

// A host folder that cannot take the file sends the log to the user's local
// application data; a missing folder is still reported.
TEST_F(LogFileTest, UnwritableHostFolderFallsBackToLocalApplicationData) {
    struct Case {
        const char* name;
        bool fallsBack;
    };
    const Case cases[] = {{"file", true}, {"readonly", true}, {"missing", false}};
    const std::filesystem::path data = m_dir.path() / "data";
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path root = m_dir.path() / c.name;
        if (std::string(c.name) == "file") {
            std::ofstream(root) << "not a folder";
        } else if (std::string(c.name) == "readonly") {
            if (::geteuid() == 0) {
                continue;  // permissions do not bind the superuser
            }
            std::filesystem::create_directory(root);
            std::filesystem::permissions(
                root, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        }
        std::filesystem::remove_all(data);
        m_boxes.boxes.clear();
        ::testing::internal::CaptureStderr();
        test::LogInto(root);
        WriteLogLine(L"entry");
        const std::string err = ::testing::internal::GetCapturedStderr();
        CloseLogFile();
        const std::filesystem::path folder = data / "OrvellaForNST";
        EXPECT_EQ(std::filesystem::exists(folder), c.fallsBack);
        EXPECT_EQ(m_boxes.boxes.empty(), c.fallsBack);
        if (c.fallsBack) {
            const std::string where = "; the log is written to " + folder.string();
            EXPECT_NE(err.find(where), std::string::npos) << err;
            EXPECT_TRUE(std::regex_match(
                test::ReadLogs(folder),
                std::regex(
                    R"(\d{8}_\d{6},The NovaScope install directory .* is not writable; the log is written to .*\r\n\d{8}_\d{6},entry\r\n)")));
        }
    }
    ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace orvella
