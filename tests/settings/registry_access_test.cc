#include "settings/registry_access.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry.h"
#include "settings/reg_text.h"
#include "settings/reg_value.h"
#include "settings/settings_keys.h"
#include "tests/settings/settings_env.h"

namespace orvella {
namespace {

using platform::Hive;

class RegistryAccessTest : public testing::SettingsEnvTest {};

using testing::KeyExists;

void StoreRaw(const std::wstring& keyPath, const std::wstring& name, uint32_t type,
              const std::vector<uint8_t>& data) {
    platform::RegKey* key = nullptr;
    ASSERT_EQ(platform::RegCreateKey(Hive::kCurrentUser, keyPath, platform::kKeyAllAccess, &key),
              platform::kRegSuccess);
    ASSERT_EQ(
        platform::RegSetValue(key, name, type, data.data(), static_cast<uint32_t>(data.size())),
        platform::kRegSuccess);
    platform::RegCloseKey(key);
}

TEST(SplitFullPathTest, KeyPathAndValueName) {
    struct Case {
        const wchar_t* full;
        const wchar_t* key;
        const wchar_t* name;
    } cases[] = {
        {L"Software\\Corvan\\Orvella\\OrvellaForNST\\Port",
         L"Software\\Corvan\\Orvella\\OrvellaForNST", L"Port"},
        {L"\\\\Software\\Corvan\\Port", L"Software\\Corvan", L"Port"},
        {L"Software\\Corvan\\", L"Software\\Corvan", L""},
        {L"Software\\Corvan\\\\\\Port", L"Software\\Corvan", L"Port"},
        {L"Logging", L"", L"Logging"},
        {L"\\Logging", L"", L"Logging"},
        {L"", L"", L""},
    };
    for (const Case& c : cases) {
        std::wstring key, name;
        SplitFullPath(c.full, &key, &name);
        EXPECT_EQ(key, c.key) << c.full;
        EXPECT_EQ(name, c.name) << c.full;
    }
}

TEST_F(RegistryAccessTest, MissingValuesGiveDefaultsAndCreateNothing) {
    EXPECT_EQ(ReadRegDword(kStreamingPath, 0), 0);
    EXPECT_EQ(ReadRegDword(kPortPath, kDefaultPort), 80);
    EXPECT_EQ(ReadRegString(kBeginFilterTimePath, kDefaultBeginFilterTime), L"000000");
    EXPECT_EQ(ReadRegString(kEndFilterTimePathA, kDefaultEndFilterTimeA), "235959");
    EXPECT_FALSE(KeyExists(kSettingsKey));
    WriteRegDword(1, kLoggingPath);
    EXPECT_EQ(ReadRegDword(kStreamingPath, 7), 7);  // key present, value missing
    EXPECT_EQ(ReadRegString(kWebsitePath, kDefaultWebsite), kDefaultWebsite);
}

TEST_F(RegistryAccessTest, ValuesRoundTripInBothTextWidths) {
    WriteRegDword(-5, kPortPath);
    EXPECT_EQ(ReadRegDword(kPortPath, 80), -5);
    EXPECT_EQ(ReadRegDword(kPortPathA, 80), -5);
    WriteRegString(kNovaScopeRootPathA, "C:\\Nova\xE9Scope");
    EXPECT_EQ(ReadRegString(kNovaScopeRootPath, L""), L"C:\\Nova\u00E9Scope");
    EXPECT_EQ(ReadRegString(kNovaScopeRootPathA, ""), "C:\\Nova\xE9Scope");
    WriteRegString(kWebsitePath, L"x\u4E2D\U0001F600y");
    EXPECT_EQ(ReadRegString(kWebsitePath, L""), L"x\u4E2D\U0001F600y");
    EXPECT_EQ(ReadRegString(kWebsitePathA, ""), "x??y");
    WriteRegString(kWebsitePath, L"");
    EXPECT_EQ(ReadRegString(kWebsitePath, L"default"), L"");
}

TEST_F(RegistryAccessTest, TextIsStoredAsUtf16WithTerminatingNul) {
    WriteRegString(kBeginFilterTimePath, L"0930");
    platform::RegKey* key = nullptr;
    ASSERT_EQ(platform::RegOpenKey(Hive::kCurrentUser, kSettingsKey, platform::kKeyRead, &key),
              platform::kRegSuccess);
    uint32_t type = 0;
    uint8_t data[32];
    uint32_t size = sizeof data;
    ASSERT_EQ(platform::RegQueryValue(key, L"BeginFilterTime", &type, data, &size),
              platform::kRegSuccess);
    platform::RegCloseKey(key);
    EXPECT_EQ(type, platform::kRegSz);
    EXPECT_EQ(std::vector<uint8_t>(data, data + size),
              (std::vector<uint8_t>{'0', 0, '9', 0, '3', 0, '0', 0, 0, 0}));
}

TEST_F(RegistryAccessTest, DwordReadOfOtherStoredData) {
    struct Case {
        const char* what;
        uint32_t type;
        std::vector<uint8_t> data;
        int32_t expected;
    } cases[] = {
        {"number", platform::kRegDword, {0x78, 0x56, 0x34, 0x12}, 0x12345678},
        {"text longer than four bytes", platform::kRegSz, EncodeRegText(L"12"), 42},
        {"one-character text fits", platform::kRegSz, EncodeRegText(L"1"), '1'},
        {"short binary", platform::kRegBinary, {0x05, 0x01}, 0x0105},
    };
    for (const Case& c : cases) {
        StoreRaw(L"Software\\Test", L"Value", c.type, c.data);
        EXPECT_EQ(ReadRegDword(L"Software\\Test\\Value", 42), c.expected) << c.what;
    }
}

TEST_F(RegistryAccessTest, TextReadStopsAtFirstNulOrEnd) {
    StoreRaw(L"Software\\Test", L"Embedded", platform::kRegSz, {'a', 0, 0, 0, 'b', 0, 0, 0});
    StoreRaw(L"Software\\Test", L"Unterminated", platform::kRegBinary, {'a', 0, 'b', 0, 'c'});
    StoreRaw(L"Software\\Test", L"Number", platform::kRegDword, {'7', 0, 0, 0});
    EXPECT_EQ(ReadRegString(L"Software\\Test\\Embedded", L"-"), L"a");
    EXPECT_EQ(ReadRegString(L"Software\\Test\\Unterminated", L"-"), L"ab");
    EXPECT_EQ(ReadRegString(L"Software\\Test\\Number", L"-"), L"7");
}

TEST_F(RegistryAccessTest, UnnamedValueAndValueUnderTheHive) {
    WriteRegString(L"Software\\Corvan\\", L"unnamed");
    WriteRegDword(3, L"TopLevel");
    EXPECT_EQ(ReadRegString(L"Software\\Corvan\\", L""), L"unnamed");
    EXPECT_EQ(ReadRegString(L"Software\\Corvan\\Unnamed", L"-"), L"-");
    EXPECT_EQ(ReadRegDword(L"TopLevel", 0), 3);
    EXPECT_EQ(ReadRegDword(L"\\\\TopLevel", 0), 3);
}

TEST_F(RegistryAccessTest, KeysAndNamesAreCaseInsensitiveAndKeepTheirCase) {
    WriteRegDword(1, L"Software\\Corvan\\MixedCase\\Value");
    EXPECT_EQ(ReadRegDword(L"SOFTWARE\\corvan\\mixedcase\\VALUE", 0), 1);
    WriteRegDword(2, L"software\\CORVAN\\mixedcase\\value");
    EXPECT_EQ(ReadRegDword(L"Software\\Corvan\\MixedCase\\Value", 0), 2);
    platform::RegKey* key = nullptr;
    ASSERT_EQ(
        platform::RegOpenKey(Hive::kCurrentUser, L"software\\corvan", platform::kKeyRead, &key),
        platform::kRegSuccess);
    std::vector<std::wstring> subkeys;
    ASSERT_EQ(platform::RegEnumSubkeys(key, &subkeys), platform::kRegSuccess);
    platform::RegCloseKey(key);
    EXPECT_EQ(subkeys, std::vector<std::wstring>{L"MixedCase"});
}

TEST_F(RegistryAccessTest, AlwaysWriteStoresEvenAnUnchangedValue) {
    CRegDwordValue unchanged;
    unchanged.SetPath(L"Software\\Test\\Value", 0, false);
    unchanged.Assign(0);  // equals the cached value: nothing is stored
    EXPECT_FALSE(unchanged.Found());
    EXPECT_FALSE(KeyExists(L"Software\\Test"));

    CRegDwordValue always;
    always.SetPath(L"Software\\Test\\Value", 0, true);
    always.Assign(0);
    EXPECT_TRUE(always.Found());
    EXPECT_EQ(ReadRegDword(L"Software\\Test\\Value", 9), 0);
}

}  // namespace
}  // namespace orvella
