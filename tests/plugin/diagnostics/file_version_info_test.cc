// Version information read back from built binaries.
#include "plugin/diagnostics/file_version_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "platform/file_system.h"
#include "platform/text.h"
#include "tests/plugin/boundary/boundary_test_support.h"

namespace orvella {
namespace {

uint32_t FixedWord(const CFileVersionInfo& info, int index) {
    uint32_t word;
    std::memcpy(&word, info.FixedInfo() + index * 4, 4);
    return word;
}

TEST(ChooseTranslation, PrefersTheUsersLanguageThenNeutralThenEnglish) {
    struct Case {
        std::vector<uint32_t> entries;
        uint16_t user;
        uint32_t chosen;
    };
    const Case cases[] = {
        {{0x04B00407, 0x04B00409}, 0x0409, 0x04B00409},
        {{0x04B00407, 0x04E40809}, 0x0409, 0x04E40809},  // same primary language
        {{0x04B00407, 0x04B00000}, 0x0409, 0x04B00000},  // neutral
        {{0x04B00407, 0x04B00C00}, 0x0409, 0x04B00C00},  // neutral primary
        {{0x04B00407, 0x04B00009}, 0x040C, 0x04B00009},  // English
        {{0x04B00407, 0x04B00C09}, 0x040C, 0x04B00C09},  // English primary
        {{0x04B00407, 0x04B00410}, 0x040C, 0x04B00407},  // the first
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseTranslation(c.entries.data(), c.entries.size(), c.user), c.chosen);
    }
}

TEST(FileVersionInfo, ReadsThisProgramsVersionBlock) {
    CFileVersionInfo info;
    const std::wstring self = platform::ModulePathOf(reinterpret_cast<const void*>(&FixedWord));
    ASSERT_TRUE(info.Load(self));
    EXPECT_EQ(info.FileVersion(), L"" ORVELLA_TEST_VERSION);
    EXPECT_EQ(FixedWord(info, 0), 0xFEEF04BDu);
    EXPECT_EQ(info.String(3), L"orvella_diagnostics_test");
    EXPECT_EQ(info.String(8), L"");  // Comments: not in the block

    info.Reset();
    EXPECT_EQ(info.FileVersion(), L"");
    EXPECT_EQ(FixedWord(info, 0), 0u);
}

TEST(FileVersionInfo, FilesWithoutVersionInformationFail) {
    test::CTempDir dir;
    const std::filesystem::path plain = dir.path() / "plain.txt";
    std::ofstream(plain) << "no version here";
    CFileVersionInfo info;
    EXPECT_FALSE(info.Load(plain.wstring()));
    EXPECT_FALSE(info.Load((dir.path() / "missing").wstring()));
    EXPECT_EQ(info.FileVersion(), L"");
}

TEST(FileVersionInfo, ShippedPluginCarriesItsBlock) {
    CFileVersionInfo info;
    ASSERT_TRUE(info.Load(platform::WidenText(ORVELLA_SHIPPED_PLUGIN)));
    EXPECT_EQ(info.FileVersion(), L"" ORVELLA_TEST_VERSION);
    EXPECT_EQ(info.String(1), L"Orvella data pump for Nova Scope Trader");
    EXPECT_EQ(info.String(3), L"OrvellaForNST");
    EXPECT_EQ(info.String(5), L"OrvellaForNST.dll");
    EXPECT_EQ(FixedWord(info, 9), 2u);  // a library
}

}  // namespace
}  // namespace orvella
