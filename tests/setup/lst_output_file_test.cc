// One LST file's writer on its own.
#include "setup/lst_output_file.h"

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

}  // namespace
}  // namespace orvella
