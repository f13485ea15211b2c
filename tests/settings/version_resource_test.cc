#include "platform/version_resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tests/settings/settings_env.h"

namespace orvella {
namespace {

class VersionResourceTest : public testing::SettingsEnvTest {};

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

std::string QueryString(const std::vector<uint8_t>& block, const std::wstring& subBlock) {
    const void* value = nullptr;
    uint32_t size = 0;
    if (!platform::VerQueryValue(block, subBlock, &value, &size))
        return "<missing>";
    const char* text = static_cast<const char*>(value);
    EXPECT_EQ(std::strlen(text) + 1, size) << "size counts the characters with the NUL";
    return text;
}

TEST_F(VersionResourceTest, ReadsTheBlockOfABuiltProgram) {
    const std::wstring path = Wide(ORVELLA_REG_PATH);
    const uint32_t size = platform::GetFileVersionInfoSize(path);
    ASSERT_GT(size, 0u);
    std::vector<uint8_t> block;
    ASSERT_TRUE(platform::GetFileVersionInfo(path, &block));
    EXPECT_EQ(block.size(), size);

    const void* value = nullptr;
    uint32_t valueSize = 0;
    ASSERT_TRUE(platform::VerQueryValue(block, L"\\", &value, &valueSize));
    ASSERT_EQ(valueSize, 52u);
    uint32_t fixed[13];
    std::memcpy(fixed, value, sizeof fixed);
    EXPECT_EQ(fixed[0], 0xFEEF04BDu);
    EXPECT_EQ(fixed[2], (uint32_t{ORVELLA_VERSION_MAJOR} << 16) | ORVELLA_VERSION_MINOR);

    ASSERT_TRUE(platform::VerQueryValue(block, L"\\VarFileInfo\\Translation", &value, &valueSize));
    ASSERT_EQ(valueSize, 4u);
    uint32_t translation = 0;
    std::memcpy(&translation, value, 4);
    EXPECT_EQ(translation & 0xFFFF, platform::UserDefaultLanguage());

    EXPECT_EQ(QueryString(block, L"\\StringFileInfo\\040904B0\\FileVersion"), ORVELLA_VERSION);
    EXPECT_EQ(QueryString(block, L"\\StringFileInfo\\040904b0\\InternalName"), "orvella-reg");
    EXPECT_EQ(QueryString(block, L"\\StringFileInfo\\040904B0\\LegalCopyright"), "");
    EXPECT_EQ(QueryString(block, L"\\StringFileInfo\\040904B0\\Comments"), "<missing>");
    EXPECT_EQ(QueryString(block, L"\\StringFileInfo\\040704B0\\FileVersion"), "<missing>");
    EXPECT_FALSE(platform::VerQueryValue(block, L"\\VarFileInfo\\Other", &value, &valueSize));
}

TEST_F(VersionResourceTest, FilesWithoutABlockFail) {
    const std::string text = (m_root / "text.txt").string();
    std::ofstream(text) << "not a program\n";
    const std::string elfHeaderOnly = (m_root / "short.elf").string();
    std::ofstream(elfHeaderOnly) << "\x7f"
                                    "ELF\x02\x01\x01";
    const std::string cases[] = {
        "/proc/self/exe",  // this test program has no block
        text,
        elfHeaderOnly,
        (m_root / "missing").string(),
        m_root.string(),
    };
    for (const std::string& path : cases) {
        EXPECT_EQ(platform::GetFileVersionInfoSize(Wide(path)), 0u) << path;
        std::vector<uint8_t> block;
        EXPECT_FALSE(platform::GetFileVersionInfo(Wide(path), &block)) << path;
    }
    const void* value = nullptr;
    uint32_t size = 0;
    EXPECT_FALSE(platform::VerQueryValue({}, L"\\", &value, &size));
}

}  // namespace
}  // namespace orvella
