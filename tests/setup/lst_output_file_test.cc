// One LST file's writer on its own.
#include "setup/lst_output_file.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

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

}  // namespace
}  // namespace orvella
