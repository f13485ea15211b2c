#include "settings/corvan_ports.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "settings/reg_text.h"
#include "settings/settings_keys.h"
#include "tests/settings/settings_env.h"

namespace orvella {
namespace {

using platform::Hive;

class CorvanPortsTest : public testing::SettingsEnvTest {};

struct Stored {
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

std::optional<Stored> ReadStartup(const std::wstring& name) {
    platform::RegKey* key = nullptr;
    if (platform::RegOpenKey(Hive::kCurrentUser, kStartupKey, platform::kKeyRead, &key) !=
        platform::kRegSuccess) {
        return std::nullopt;
    }
    Stored stored;
    uint32_t size = 0;
    long rc = platform::RegQueryValue(key, name, &stored.type, nullptr, &size);
    stored.data.resize(size);
    if (rc == platform::kRegSuccess) {
        rc = platform::RegQueryValue(key, name, nullptr, stored.data.data(), &size);
    }
    platform::RegCloseKey(key);
    if (rc != platform::kRegSuccess)
        return std::nullopt;
    return stored;
}

void StoreStartup(const std::wstring& name, uint32_t type, const std::vector<uint8_t>& data) {
    platform::RegKey* key = nullptr;
    ASSERT_EQ(
        platform::RegCreateKey(Hive::kCurrentUser, kStartupKey, platform::kKeyAllAccess, &key),
        platform::kRegSuccess);
    ASSERT_EQ(
        platform::RegSetValue(key, name, type, data.data(), static_cast<uint32_t>(data.size())),
        platform::kRegSuccess);
    platform::RegCloseKey(key);
}

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> bytes) {
    return bytes;
}

TEST_F(CorvanPortsTest, NoStartupKeyCreatesItWithTheDefaultTexts) {
    EXPECT_EQ(CCorvanPorts().GetLookupPort(), 9100);
    EXPECT_EQ(CCorvanPorts().GetLevel1Port(), 5009);
    for (auto [name, text] : {std::pair{kLookupPortName, L"9100"}, {kLevel1PortName, L"5009"}}) {
        std::optional<Stored> stored = ReadStartup(name);
        ASSERT_TRUE(stored.has_value()) << name;
        EXPECT_EQ(stored->type, platform::kRegSz);
        EXPECT_EQ(stored->data, EncodeRegText(text));
    }
}

TEST_F(CorvanPortsTest, StoredValues) {
    const std::vector<uint8_t> kDefaultBack = EncodeRegText(L"9100");
    struct Case {
        const char* what;
        uint32_t type;
        std::vector<uint8_t> data;
        uint16_t port;
        bool writtenBack;
    } cases[] = {
        {"text", platform::kRegSz, EncodeRegText(L"9200"), 9200, false},
        {"expandable text", platform::kRegExpandSz, EncodeRegText(L"9201"), 9201, false},
        {"low 16 bits", platform::kRegSz, EncodeRegText(L"70000"), 4464, false},
        {"not a number", platform::kRegSz, EncodeRegText(L"port"), 0, false},
        {"leading digits", platform::kRegSz, EncodeRegText(L" 9300x"), 9300, false},
        {"negative", platform::kRegSz, EncodeRegText(L"-1"), 65535, false},
        {"empty text", platform::kRegSz, EncodeRegText(L""), 0, false},
        {"255 characters", platform::kRegSz, EncodeRegText(std::wstring(251, L'0') + L"9102"), 9102,
         false},
        {"256 characters", platform::kRegSz, EncodeRegText(std::wstring(252, L'0') + L"9102"), 9100,
         true},
        {"number", platform::kRegDword, Bytes({0x8C, 0x23, 0, 0}), 9100, true},
        {"no terminating NUL", platform::kRegSz, Bytes({'9', 0, '2', 0}), 9100, true},
        {"odd byte count", platform::kRegSz, Bytes({'9', 0, 0}), 9100, true},
        {"binary", platform::kRegBinary, EncodeRegText(L"9200"), 9100, true},
    };
    for (const Case& c : cases) {
        StoreStartup(kLookupPortName, c.type, c.data);
        EXPECT_EQ(CCorvanPorts().GetLookupPort(), c.port) << c.what;
        std::optional<Stored> stored = ReadStartup(kLookupPortName);
        ASSERT_TRUE(stored.has_value()) << c.what;
        EXPECT_EQ(stored->type, c.writtenBack ? platform::kRegSz : c.type) << c.what;
        EXPECT_EQ(stored->data, c.writtenBack ? kDefaultBack : c.data) << c.what;
    }
}

TEST_F(CorvanPortsTest, MissingValueInExistingKeyIsWrittenBack) {
    StoreStartup(kLookupPortName, platform::kRegSz, EncodeRegText(L"9200"));
    EXPECT_EQ(CCorvanPorts().GetLevel1Port(), 5009);
    std::optional<Stored> stored = ReadStartup(kLevel1PortName);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->data, EncodeRegText(L"5009"));
    EXPECT_EQ(CCorvanPorts().GetLookupPort(), 9200);
}

TEST(PortFromTextTest, LowSixteenBitsOfTheLeadingNumber) {
    struct Case {
        const wchar_t* text;
        uint16_t port;
    } cases[] = {
        {L"9100", 9100},
        {L"65535", 65535},
        {L"65536", 0},
        {L"70000", 4464},
        {L"+5009", 5009},
        {L"-1", 65535},
        {L"\t 12 34", 12},
        {L"x12", 0},
        {L"", 0},
        {L"-", 0},
        {L"99999999999999999999", 65535},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PortFromText(c.text), c.port) << c.text;
}

}  // namespace
}  // namespace orvella
