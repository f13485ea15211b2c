// The SQLite store behind the registry calls: location and file mode,
// damaged files, key trees, handles, and several processes and threads at
// once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry.h"
#include "settings/corvan_ports.h"
#include "settings/registry_access.h"
#include "settings/settings_keys.h"
#include "tests/settings/settings_env.h"

namespace orvella {
namespace {

using platform::Hive;
namespace fs = std::filesystem;

class RegistryStoreTest : public testing::SettingsEnvTest {
  protected:
    std::string ReadFile(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

// Runs body in a child process that exits normally with body's result
// (closing its store connection); returns that exit status.
int RunInChild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0)
        std::exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

bool KeyExists(const std::wstring& path) {
    platform::RegKey* key = nullptr;
    if (platform::RegOpenKey(Hive::kCurrentUser, path, platform::kKeyRead, &key) !=
        platform::kRegSuccess) {
        return false;
    }
    platform::RegCloseKey(key);
    return true;
}

TEST_F(RegistryStoreTest, CreatesItsFolderAndAFileForTheUserOnly) {
    const fs::path nested = m_root / "a" / "b" / "registry.db";
    setenv("ORVELLA_REGISTRY", nested.c_str(), 1);
    const mode_t previous = umask(0);
    WriteRegDword(1, kLoggingPath);
    umask(previous);
    struct stat st;
    ASSERT_EQ(stat(nested.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadRegDword(kLoggingPath, 0), 1);
}

TEST_F(RegistryStoreTest, DefaultLocationFollowsTheConfigurationFolder) {
    unsetenv("ORVELLA_REGISTRY");
    setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
    WriteRegDword(2, kLoggingPath);
    EXPECT_TRUE(fs::exists(m_root / "config" / "orvella" / "registry.db"));
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ReadRegDword(kLoggingPath, 0), 0);  // another store
    WriteRegDword(3, kLoggingPath);
    EXPECT_TRUE(fs::exists(m_home / ".config" / "orvella" / "registry.db"));
}

TEST_F(RegistryStoreTest, UnusableStoresGiveDefaultsAndOneMessage) {
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> make;
    } cases[] = {
        {"not a database", [](const fs::path& p) { std::ofstream(p) << std::string(8192, 'x'); }},
        {"a folder in its place", [](const fs::path& p) { fs::create_directories(p); }},
        {"damaged pages",
         [](const fs::path& p) {
             ASSERT_EQ(RunInChild([] {
                           for (int i = 0; i < 300; ++i) {
                               WriteRegString(L"Software\\Fill\\V" + std::to_wstring(i),
                                              std::wstring(100, L'f'));
                           }
                           return 0;
                       }),
                       0);
             // Scribble over the pages after the first.
             ASSERT_FALSE(fs::exists(p.string() + "-wal"));
             std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(4096);
             f << std::string(3 * 4096, '\x5A');
         }},
    };
    for (const Case& c : cases) {
        const fs::path db = m_root / (std::string(c.what) + ".db");
        setenv("ORVELLA_REGISTRY", db.c_str(), 1);
        c.make(db);
        const std::string before = fs::is_regular_file(db) ? ReadFile(db) : "";
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(ReadRegDword(kStreamingPath, 0), 0) << c.what;
        EXPECT_EQ(ReadRegString(kEndFilterTimePath, kDefaultEndFilterTime), L"235959") << c.what;
        WriteRegDword(1, kStreamingPath);
        EXPECT_EQ(ReadRegDword(kStreamingPath, 0), 0) << c.what;
        EXPECT_EQ(CCorvanPorts().GetLookupPort(), 9100) << c.what;
        platform::RegKey* key = nullptr;
        EXPECT_EQ(platform::RegOpenKey(Hive::kCurrentUser, L"", platform::kKeyRead, &key),
                  platform::kRegBadDatabase);
        const std::string messages = ::testing::internal::GetCapturedStderr();
        size_t count = 0;
        for (size_t at = messages.find("settings store"); at != std::string::npos;
             at = messages.find("settings store", at + 1)) {
            ++count;
        }
        EXPECT_EQ(count, 1u) << c.what << ": " << messages;
        EXPECT_NE(messages.find(db.string()), std::string::npos) << messages;
        if (fs::is_regular_file(db)) {
            EXPECT_EQ(ReadFile(db), before) << c.what;
        }
    }
}

TEST_F(RegistryStoreTest, ReadOnlyStoreIsReadAndSaysChangesCannotBeSaved) {
    const fs::path folder = m_root / "shared";
    const fs::path db = folder / "registry.db";
    setenv("ORVELLA_REGISTRY", db.c_str(), 1);
    ASSERT_EQ(RunInChild([] {
                  WriteRegDword(1, kStreamingPath);
                  WriteRegString(kEndFilterTimePath, L"160000");
                  return 0;
              }),
              0);
    // Neither the file nor its folder may be written.
    fs::permissions(db, fs::perms::owner_read);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    if (access(db.c_str(), W_OK) == 0) {
        fs::permissions(folder, fs::perms::owner_all);
        GTEST_SKIP() << "this user may write any file";
    }
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ReadRegDword(kStreamingPath, 0), 1);
    EXPECT_EQ(ReadRegString(kEndFilterTimePath, kDefaultEndFilterTime), L"160000");
    EXPECT_TRUE(platform::RegStoreIsReadOnly());
    WriteRegDword(0, kStreamingPath);
    EXPECT_EQ(ReadRegDword(kStreamingPath, 0), 1);
    platform::RegKey* key = nullptr;
    EXPECT_EQ(
        platform::RegCreateKey(Hive::kCurrentUser, L"Software\\New", platform::kKeyWrite, &key),
        platform::kRegAccessDenied);
    const std::string messages = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(messages, "orvella: the settings store " + db.string() +
                            " is read-only; settings are read, but changes cannot be saved\n");
    fs::permissions(folder, fs::perms::owner_all);
    fs::permissions(db, fs::perms::owner_read | fs::perms::owner_write);
    // Writable again (a new connection): nothing is said.
    setenv("ORVELLA_REGISTRY", (m_root / "other.db").c_str(), 1);
    EXPECT_FALSE(platform::RegStoreIsReadOnly());
}

TEST_F(RegistryStoreTest, DeleteTreeRemovesTheKeyAndItsSubkeysOnly) {
    for (const wchar_t* path : {L"A\\B\\V", L"A\\B\\C\\V", L"A\\BC\\V", L"A\\B[\\V", L"AB\\V"}) {
        WriteRegDword(1, path);
    }
    EXPECT_EQ(platform::RegDeleteTree(Hive::kCurrentUser, L"a\\b"), platform::kRegSuccess);
    EXPECT_FALSE(KeyExists(L"A\\B"));
    EXPECT_FALSE(KeyExists(L"A\\B\\C"));
    EXPECT_EQ(ReadRegDword(L"A\\B\\V", 0), 0);
    for (const wchar_t* path : {L"A\\BC\\V", L"A\\B[\\V", L"AB\\V"}) {
        EXPECT_EQ(ReadRegDword(path, 0), 1) << path;
    }
    EXPECT_EQ(platform::RegDeleteTree(Hive::kCurrentUser, L"A\\B"), platform::kRegFileNotFound);
}

TEST_F(RegistryStoreTest, HandlesKeepTheirAccessAndOutliveNoKey) {
    WriteRegDword(1, L"Software\\Test\\V");
    platform::RegKey* key = nullptr;
    ASSERT_EQ(platform::RegOpenKey(Hive::kCurrentUser, L"Software\\Test", platform::kKeyRead, &key),
              platform::kRegSuccess);
    const uint8_t data[4] = {2, 0, 0, 0};
    EXPECT_EQ(platform::RegSetValue(key, L"V", platform::kRegDword, data, 4),
              platform::kRegAccessDenied);
    platform::RegCloseKey(key);

    ASSERT_EQ(
        platform::RegOpenKey(Hive::kCurrentUser, L"Software\\Test", platform::kKeyAllAccess, &key),
        platform::kRegSuccess);
    ASSERT_EQ(platform::RegDeleteTree(Hive::kCurrentUser, L"Software\\Test"),
              platform::kRegSuccess);
    EXPECT_EQ(platform::RegSetValue(key, L"V", platform::kRegDword, data, 4),
              platform::kRegFileNotFound);
    platform::RegCloseKey(key);
    EXPECT_EQ(ReadRegDword(L"Software\\Test\\V", 0), 0);

    uint32_t size = 2;
    uint8_t small[2];
    WriteRegDword(7, L"Software\\Test\\V");
    ASSERT_EQ(platform::RegOpenKey(Hive::kCurrentUser, L"Software\\Test", platform::kKeyRead, &key),
              platform::kRegSuccess);
    EXPECT_EQ(platform::RegQueryValue(key, L"V", nullptr, small, &size), platform::kRegMoreData);
    EXPECT_EQ(size, 4u);
    platform::RegCloseKey(key);
    EXPECT_EQ(
        platform::RegOpenKey(Hive::kCurrentUser, L"Software\\\\Test", platform::kKeyRead, &key),
        platform::kRegInvalidParameter);
}

TEST_F(RegistryStoreTest, ProcessesWriteAndReadAtOnce) {
    constexpr int kProcesses = 4;
    constexpr int kValues = 150;
    WriteRegDword(0, L"Software\\Shared\\Counter");  // the parent holds a connection
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        if (pid == 0) {
            int failures = 0;
            const std::wstring key = L"Software\\Child" + std::to_wstring(p) + L"\\V";
            for (int i = 0; i < kValues; ++i) {
                WriteRegDword(i, key + std::to_wstring(i));
                WriteRegString(L"Software\\Shared\\Last", std::to_wstring(p));
                if (ReadRegDword(key + std::to_wstring(i), -1) != i)
                    ++failures;
                if (ReadRegString(L"Software\\Shared\\Last", L"").empty())
                    ++failures;
            }
            _exit(failures > 100 ? 100 : failures);
        }
        ASSERT_GT(pid, 0);
        children.push_back(pid);
    }
    for (int i = 0; i < kValues; ++i) {
        WriteRegDword(i, L"Software\\Shared\\Counter");
        EXPECT_EQ(ReadRegDword(L"Software\\Shared\\Counter", -1), i);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    for (int p = 0; p < kProcesses; ++p) {
        const std::wstring key = L"Software\\Child" + std::to_wstring(p) + L"\\V";
        for (int i = 0; i < kValues; ++i)
            ASSERT_EQ(ReadRegDword(key + std::to_wstring(i), -1), i);
    }
}

TEST_F(RegistryStoreTest, ThreadsShareTheConnection) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            const std::wstring path = L"Software\\Thread" + std::to_wstring(t) + L"\\V";
            for (int i = 0; i < 100; ++i) {
                WriteRegDword(i, path);
                EXPECT_EQ(ReadRegDword(path, -1), i);
                EXPECT_EQ(CCorvanPorts().GetLevel1Port(), 5009);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
}

}  // namespace
}  // namespace orvella
