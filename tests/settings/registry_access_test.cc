#include "settings/registry_access.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/text.h"
#include "settings/filter_time.h"
#include "settings/reg_text.h"
#include "settings/reg_value.h"
#include "settings/settings_keys.h"
#include "tests/settings/settings_env.h"

namespace orvella {
namespace {

using platform::Hive;

class RegistryAccessTest : public testing::SettingsEnvTest {};

bool KeyExists(const std::wstring& path) {
    platform::RegKey* key = nullptr;
    if (platform::RegOpenKey(Hive::kCurrentUser, path, platform::kKeyRead, &key) !=
        platform::kRegSuccess) {
        return false;
    }
    platform::RegCloseKey(key);
    return true;
}

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

std::vector<std::wstring> g_notices;

void RecordNotice(const std::wstring& text) {
    g_notices.push_back(text);
}

// Each value is read by its stored type; what cannot be read as the wanted
// kind gives the default and one notice.
TEST_F(RegistryAccessTest, DwordReadByStoredType) {
    struct Case {
        const char* what;
        uint32_t type;
        std::vector<uint8_t> data;
        int32_t expected;
        bool notice;
    } cases[] = {
        {"number", platform::kRegDword, {0x78, 0x56, 0x34, 0x12}, 0x12345678, false},
        {"switch off stored as text", platform::kRegSz, EncodeRegText(L"0"), 0, false},
        {"text holding a number", platform::kRegSz, EncodeRegText(L"12"), 12, false},
        {"expandable text, blanks around", platform::kRegExpandSz, EncodeRegText(L" -7 "), -7,
         false},
        {"text at the 32-bit limit", platform::kRegSz, EncodeRegText(L"-2147483648"), INT32_MIN,
         false},
        {"text beyond 32 bits", platform::kRegSz, EncodeRegText(L"2147483648"), 42, true},
        {"text holding no number", platform::kRegSz, EncodeRegText(L"on"), 42, true},
        {"text with a number and more", platform::kRegSz, EncodeRegText(L"1x"), 42, true},
        {"empty text", platform::kRegSz, EncodeRegText(L""), 42, true},
        {"short binary", platform::kRegBinary, {0x05, 0x01}, 42, true},
        {"four bytes of binary", platform::kRegBinary, {1, 0, 0, 0}, 42, true},
        {"short 32-bit value", platform::kRegDword, {1, 0}, 42, true},
    };
    SetSettingsNoticeSink(&RecordNotice);
    for (const Case& c : cases) {
        g_notices.clear();
        StoreRaw(L"Software\\Test", L"Value", c.type, c.data);
        EXPECT_EQ(ReadRegDword(L"Software\\Test\\Value", 42), c.expected) << c.what;
        EXPECT_EQ(g_notices.size(), c.notice ? 1u : 0u) << c.what;
    }
    SetSettingsNoticeSink(nullptr);
    EXPECT_EQ(g_notices.back(),
              L"The setting Value does not hold a number; its default 42 is used");
}

TEST_F(RegistryAccessTest, TextReadByStoredTypeStopsAtFirstNulOrEnd) {
    StoreRaw(L"Software\\Test", L"Embedded", platform::kRegSz, {'a', 0, 0, 0, 'b', 0, 0, 0});
    StoreRaw(L"Software\\Test", L"Unterminated", platform::kRegExpandSz, {'a', 0, 'b', 0, 'c'});
    StoreRaw(L"Software\\Test", L"Binary", platform::kRegBinary, {'a', 0, 'b', 0});
    StoreRaw(L"Software\\Test", L"Number", platform::kRegDword, {'7', 0, 0, 0});
    SetSettingsNoticeSink(&RecordNotice);
    g_notices.clear();
    EXPECT_EQ(ReadRegString(L"Software\\Test\\Embedded", L"-"), L"a");
    EXPECT_EQ(ReadRegString(L"Software\\Test\\Unterminated", L"-"), L"ab");
    EXPECT_TRUE(g_notices.empty());
    EXPECT_EQ(ReadRegString(L"Software\\Test\\Binary", L"-"), L"-");
    EXPECT_EQ(ReadRegString(L"Software\\Test\\Number", L"-"), L"-");
    SetSettingsNoticeSink(nullptr);
    EXPECT_EQ(g_notices, (std::vector<std::wstring>{
                             L"The setting Binary does not hold text; its default is used",
                             L"The setting Number does not hold text; its default is used"}));
}

TEST_F(RegistryAccessTest, FilterTimesMustBeTimesOfDay) {
    struct Case {
        const wchar_t* stored;
        const wchar_t* read;
    } cases[] = {
        {L"093000", L"093000"},  {L"000000", L"000000"},  {L"235959", L"235959"},
        {L"240000", L"000000"},  {L"096000", L"000000"},  {L"093060", L"000000"},
        {L"0930", L"000000"},    {L"0930000", L"000000"}, {L"09:30:00", L"000000"},
        {L"09300\n", L"000000"}, {L"0930,0", L"000000"},  {L"", L"000000"},
    };
    SetSettingsNoticeSink(&RecordNotice);
    for (const Case& c : cases) {
        g_notices.clear();
        WriteRegString(kBeginFilterTimePath, c.stored);
        EXPECT_EQ(ReadFilterTime(kBeginFilterTimePath, kDefaultBeginFilterTime), c.read)
            << c.stored;
        EXPECT_EQ(g_notices.size(), std::wstring_view(c.stored) == c.read ? 0u : 1u) << c.stored;
        EXPECT_EQ(IsTimeText(platform::NarrowText(c.stored)),
                  std::wstring_view(c.stored) == c.read);
    }
    SetSettingsNoticeSink(nullptr);
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
