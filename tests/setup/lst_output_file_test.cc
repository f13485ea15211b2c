// One LST file's writer on its own.
#include "setup/lst_output_file.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "testing/setup/fake_settings_store.h"

namespace orvella {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Found by fuzzing: a symbol file line with empty columns handed the writer
// views without data, which were copied with a null source.
TEST(LstOutputFile, EmptyViewsWithoutDataWriteTheBareLine) {
    char folder[] = "/tmp/lst-output-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/X_STOCK.LST";
    {
        CLstOutputFile file;
        ASSERT_TRUE(file.Create(path));
        EXPECT_TRUE(file.WriteLine(std::string_view(), std::string_view()));
        EXPECT_TRUE(file.WriteLine("ABC", std::string_view()));
        EXPECT_TRUE(file.Close());
    }
    EXPECT_EQ(ReadAll(path), ",\"\"\r\nABC,\"\"\r\n");
    unlink(path.c_str());
    rmdir(folder);
}

// A file written out to make room for another's line fails on its own: the
// other file's line is kept, the failed file says so on its next line and
// when it closes, and its blocks came back to the pool.
TEST(LstOutputFile, AFailedWriteToMakeRoomIsTheWrittenFilesOwn) {
    char folder[] = "/tmp/lst-output-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/X_STOCK.LST";
    {
        CLstWritePool pool(1);
        CLstOutputFile full(&pool), good(&pool);
        ASSERT_TRUE(full.Create("/dev/full"));
        ASSERT_TRUE(good.Create(path));
        EXPECT_TRUE(full.WriteLine("A", "first"));
        EXPECT_TRUE(good.WriteLine("B", "second"));
        EXPECT_FALSE(full.WriteLine("A", "third"));
        EXPECT_EQ(full.Error(), ENOSPC);
        EXPECT_TRUE(good.WriteLine("B", "fourth"));
        EXPECT_FALSE(full.Close());
        EXPECT_TRUE(good.Close());
    }
    EXPECT_EQ(ReadAll(path), "B,\"second\"\r\nB,\"fourth\"\r\n");
    unlink(path.c_str());
    rmdir(folder);
}

// A file that was there before is written over and cut to its new length,
// whether it was longer, as long or shorter, also when a pool of two blocks
// writes two files out in turns (each time but the last without their
// unfinished block).
TEST(LstOutputFile, ReplacesAnOlderFileOfAnyLength) {
    const test::CTempFolder folder;
    std::string wantA, wantB;
    for (size_t i = 0; i < 300; ++i) {
        wantA += "A" + std::to_string(i) + ",\"" + std::string(i % 90, 'a') + "\"\r\n";
        wantB += "B" + std::to_string(i) + ",\"" + std::string(i % 37, 'b') + "\"\r\n";
    }
    const size_t newSize = wantA.size();
    struct Case {
        const char* name;
        bool before;     // a file was there
        size_t oldSize;  // its bytes
        bool written;    // the lines are written, else the file is only opened
    } cases[] = {
        {"no file before", false, 0, true},
        {"an empty file before", true, 0, true},
        {"a much longer file", true, newSize * 10, true},
        {"a longer file, within a block of the new end", true, newSize + 100, true},
        {"a file as long", true, newSize, true},
        {"a shorter file", true, newSize / 3, true},
        {"nothing written over a file", true, 9000, false},
    };
    const std::string a = folder.Path() + "/A_STOCK.LST", b = folder.Path() + "/B_STOCK.LST";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(a);
        std::filesystem::remove(b);
        if (c.before) {
            test::WriteFile(a, std::string(c.oldSize, 'x'));
            test::WriteFile(b, std::string(c.oldSize, 'y'));
        }
        CLstWritePool pool(2 * CLstWritePool::kBlockSize);
        CLstOutputFile fileA(&pool), fileB(&pool);
        ASSERT_TRUE(fileA.Create(a));
        ASSERT_TRUE(fileB.Create(b));
        for (size_t i = 0; c.written && i < 300; ++i) {
            ASSERT_TRUE(fileA.WriteLine("A" + std::to_string(i), std::string(i % 90, 'a')));
            ASSERT_TRUE(fileB.WriteLine("B" + std::to_string(i), std::string(i % 37, 'b')));
        }
        EXPECT_TRUE(fileA.Close());
        EXPECT_TRUE(fileB.Close());
        EXPECT_EQ(test::ReadFile(a), c.written ? wantA : "");
        EXPECT_EQ(test::ReadFile(b), c.written ? wantB : "");
    }
}

}  // namespace
}  // namespace orvella
