#include "settings/ensure_directory.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/registry.h"
#include "settings/corvan_reg_base.h"
#include "tests/settings/settings_env.h"

namespace orvella {
namespace {

namespace fs = std::filesystem;

// Directory calls against an imagined file system that records each call.
class FakeDirectoryCalls : public CDirectoryCalls {
  public:
    std::set<std::wstring> existing;
    std::set<std::wstring> failing;
    std::vector<std::wstring> calls;

    bool Exists(const std::wstring& folder) override {
        calls.push_back(L"? " + folder);
        return existing.count(folder) > 0;
    }
    bool Create(const std::wstring& folder) override {
        calls.push_back(L"+ " + folder);
        if (failing.count(folder))
            return false;
        existing.insert(folder);
        return true;
    }
};

TEST(EnsureDirectoryTest, WalksAndCreatesLevels) {
    struct Case {
        const char* what;
        wchar_t separator;
        std::wstring path;
        std::set<std::wstring> existing;
        std::set<std::wstring> failing;
        bool result;
        std::vector<std::wstring> calls;
    } cases[] = {
        {"whole path exists", L'\\', L"C:\\a\\b", {L"C:\\a\\b"}, {}, true, {L"? C:\\a\\b"}},
        {"drive root is never tested",
         L'\\',
         L"C:\\a\\b",
         {},
         {},
         true,
         {L"? C:\\a\\b", L"? C:\\a", L"+ C:\\a", L"? C:\\a\\b", L"+ C:\\a\\b"}},
        {"UNC server is the root, the share comes first",
         L'\\',
         L"\\\\server\\share\\dir",
         {L"\\\\server\\share"},
         {},
         true,
         {L"? \\\\server\\share\\dir", L"? \\\\server\\share", L"? \\\\server\\share\\dir",
          L"+ \\\\server\\share\\dir"}},
        {"failure stops deeper levels",
         L'\\',
         L"C:\\a\\b\\c",
         {},
         {L"C:\\a\\b"},
         false,
         {L"? C:\\a\\b\\c", L"? C:\\a", L"+ C:\\a", L"? C:\\a\\b", L"+ C:\\a\\b"}},
        {"failure at the last level",
         L'\\',
         L"C:\\a",
         {},
         {L"C:\\a"},
         false,
         {L"? C:\\a", L"? C:\\a", L"+ C:\\a"}},
        {"trailing separators",
         L'\\',
         L"C:\\a\\\\",
         {L"C:\\a"},
         {},
         true,
         {L"? C:\\a\\\\", L"? C:\\a"}},
        {"doubled separator inside is no root",
         L'\\',
         L"C:\\a\\\\b",
         {},
         {L"C:\\a\\\\b"},
         false,
         {L"? C:\\a\\\\b", L"? C:\\a", L"+ C:\\a", L"? C:\\a\\", L"+ C:\\a\\", L"? C:\\a\\\\b",
          L"+ C:\\a\\\\b"}},
        {"absolute POSIX path",
         L'/',
         L"/home/u/Documents/Corvan",
         {L"/home", L"/home/u", L"/home/u/Documents"},
         {},
         true,
         {L"? /home/u/Documents/Corvan", L"? /home", L"? /home/u", L"? /home/u/Documents",
          L"? /home/u/Documents/Corvan", L"+ /home/u/Documents/Corvan"}},
        {"empty path", L'/', L"", {}, {}, false, {}},
    };
    for (const Case& c : cases) {
        FakeDirectoryCalls calls;
        calls.existing = c.existing;
        calls.failing = c.failing;
        EXPECT_EQ(EnsureDirectory(c.path, c.separator, calls), c.result) << c.what;
        EXPECT_EQ(calls.calls, c.calls) << c.what;
    }
}

class DataFolderTest : public testing::SettingsEnvTest {
  protected:
    std::wstring Wide(const fs::path& path) {
        const std::string text = path.string();
        return std::wstring(text.begin(), text.end());
    }
};

TEST_F(DataFolderTest, RegistryObjectCreatesCorvanThenOrvella) {
    fs::create_directories(m_home / "Documents");
    {
        COrvellaForNSTReg reg;
        EXPECT_EQ(reg.DocumentsFolder(), Wide(m_home / "Documents"));
        EXPECT_EQ(reg.ProductDataFolder(), Wide(m_home / "Documents" / "Corvan" / "Orvella"));
    }
    EXPECT_TRUE(fs::is_directory(m_home / "Documents" / "Corvan" / "Orvella"));
    const fs::path marker = m_home / "Documents" / "Corvan" / "Orvella" / "kept";
    std::ofstream(marker) << "x";
    COrvellaForNSTReg again;
    EXPECT_TRUE(fs::exists(marker));
}

TEST_F(DataFolderTest, AFileInTheWayStopsTheWalk) {
    fs::create_directories(m_home / "Documents");
    std::ofstream(m_home / "Documents" / "Corvan") << "not a folder";
    EXPECT_FALSE(EnsureDirectory(Wide(m_home / "Documents" / "Corvan" / "Orvella")));
    COrvellaForNSTReg reg;  // ignores the failure
    EXPECT_TRUE(fs::is_regular_file(m_home / "Documents" / "Corvan"));
    EXPECT_TRUE(EnsureDirectory((m_root / "x" / "y").string()));
    EXPECT_TRUE(fs::is_directory(m_root / "x" / "y"));
}

TEST_F(DataFolderTest, DocumentsFolderSources) {
    EXPECT_EQ(platform::DocumentsFolder(), Wide(m_home / "Documents"));
    fs::create_directories(m_home / ".config");
    std::ofstream(m_home / ".config" / "user-dirs.dirs")
        << "# written by the desktop\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
        << "XDG_DOCUMENTS_DIR=\"$HOME/My\\\"Docs\"\n";
    EXPECT_EQ(platform::DocumentsFolder(), Wide(m_home / "My\"Docs"));
    setenv("XDG_CONFIG_HOME", (m_root / "cfg").c_str(), 1);
    fs::create_directories(m_root / "cfg");
    std::ofstream(m_root / "cfg" / "user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n";
    EXPECT_EQ(platform::DocumentsFolder(), L"/srv/docs");
    setenv("XDG_DOCUMENTS_DIR", "/data/documents", 1);
    EXPECT_EQ(platform::DocumentsFolder(), L"/data/documents");
}

TEST_F(DataFolderTest, DirectoryCalls) {
    const std::wstring folder = Wide(m_root / "made");
    EXPECT_FALSE(platform::DirectoryExists(folder));
    EXPECT_TRUE(platform::CreateDirectory(folder));
    EXPECT_TRUE(platform::DirectoryExists(folder));
    EXPECT_FALSE(platform::CreateDirectory(folder));  // already there
    EXPECT_FALSE(platform::CreateDirectory(Wide(m_root / "no" / "parent")));
    std::ofstream(m_root / "file") << "x";
    EXPECT_FALSE(platform::DirectoryExists(Wide(m_root / "file")));
}

TEST(ModulePathTest, FindsTheProgramAndTheLibrary) {
    char self[PATH_MAX];
    ASSERT_NE(realpath("/proc/self/exe", self), nullptr);
    static int local = 0;
    const std::string program(self);
    EXPECT_EQ(platform::ModulePathOf(&local), std::wstring(program.begin(), program.end()));
    const std::wstring library =
        platform::ModulePathOf(reinterpret_cast<const void*>(&platform::RegCloseKey));
    EXPECT_EQ(fs::path(library).filename(), "liborvella_platform.so");
    EXPECT_EQ(platform::ModulePathOf(nullptr), L"");
}

}  // namespace
}  // namespace orvella
