#include "setup/symbol_file_location.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "setup/redirect_target.h"
#include "setup/time_text.h"

namespace orvella {
namespace {

TEST(SymbolFileLocation, SplitsTheWebsiteText) {
    struct Case {
        const char* website;
        const char* host;
        const char* path;
        const char* base;
        const char* extension;
    } cases[] = {
        {"www.x.example/product/mktlist_v2.txt", "www.x.example", "/product/mktlist_v2.txt",
         "mktlist_v2", "txt"},
        {"h/a/page.html", "h", "/a/page.html", "page", "tml"},
        {"h/file.txt", "h", "/file.txt", "/file", "txt"},
        {"h/dir\\name.lst", "h", "/dir\\name.lst", "name", "lst"},
        {"h/noextension", "h", "/noextension", "", "ion"},
        {"nohost", "", "", "", ""},
        {"h/a", "h", "/a", "", "/a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.website);
        const SymbolFileLocation location = LocateSymbolFile(c.website);
        EXPECT_EQ(location.host, c.host);
        EXPECT_EQ(location.objectPath, c.path);
        EXPECT_EQ(location.baseName, c.base);
        EXPECT_EQ(location.extension, c.extension);
    }
}

TEST(SymbolFileLocation, PathsJoinWithTheNativeSeparator) {
    const SymbolFileLocation location = LocateSymbolFile("h/product/mktlist_v2.txt");
    const std::string s(1, kSetupPathSeparator);
    EXPECT_EQ(SymbolFilePath("/nst", location), "/nst" + s + "mktlist_v2.txt");
    EXPECT_EQ(LstFolder("/nst"), "/nst" + s + "Servers" + s + "OrvellaForNST" + s);
}

TEST(SymbolFileLocation, RefusedFilesIgnoreCaseQueryAndFragment) {
    struct Case {
        const char* objectPath;
        const char* refused;  // "" when the file may be downloaded
    } cases[] = {
        {"/setup.exe", "exe"},
        {"/a/b.COM", "COM"},
        {"/x.Dll", "Dll"},
        {"/run.bat?v=1", "bat"},
        {"/drv.SYS#top", "SYS"},
        {"/a.inf?x#y", "inf"},
        {"/downloadexe", "exe"},
        // The stored file takes its extension from the whole path.
        {"/list.txt?name=x.exe", "exe"},
        {"/product/mktlist_v2.txt", ""},
        {"/list.txt?format=exe1", ""},
        {"/ex", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.objectPath);
        std::string refused = "unchanged";
        EXPECT_EQ(IsRefusedFile(c.objectPath, &refused), *c.refused != '\0');
        EXPECT_EQ(refused, c.refused);
    }
}

TEST(SymbolFileLocation, OnlyFullPathsNameTheHostDirectory) {
    const std::string here = std::filesystem::current_path().string();
    for (const std::string& path : {here, here + kSetupPathSeparator + "nst"})
        EXPECT_TRUE(IsFullPath(path)) << path;
    for (const char* path : {"", ".", "nst", "./nst", "../nst", "nst/sub"})
        EXPECT_FALSE(IsFullPath(path)) << path;
}

TEST(SymbolFileLocation, PortTexts) {
    struct Case {
        const char* text;
        int download;  // PortFromText
        bool integer;  // ParseDialogInteger accepts it
        int integerValue;
    } cases[] = {
        {"80", 80, true, 80}, {" 8080 ", 8080, true, 8080},
        {"-1", -1, true, -1}, {"12ab", 12, false, 0},
        {"", 0, false, 0},    {"abc", 0, false, 0},
        {"+7", 7, true, 7},   {"99999999999", 1215752191, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(PortFromText(c.text), c.download);
        int value = 0;
        EXPECT_EQ(ParseDialogInteger(c.text, &value), c.integer);
        if (c.integer) {
            EXPECT_EQ(value, c.integerValue);
        }
    }
}

TEST(SymbolFileLocation, LstFileNamesStayInTheFolder) {
    struct Case {
        std::string key;
        const char* name;
    } cases[] = {
        {"NYSE_STOCK", "NYSE_STOCK.LST"},   {"OPRA_STOCKOPT_A", "OPRA_STOCKOPT_A.LST"},
        {"CME_FUTURE", "CME_FUTURE.LST"},   {"E.X_STOCK", "E.X_STOCK.LST"},
        {"../x_STOCK", "___x_STOCK.LST"},   {"a/b_STOCK", "a_b_STOCK.LST"},
        {"a\\b_STOCK", "a_b_STOCK.LST"},    {std::string("N_STOCKOPT_\0", 12), "N_STOCKOPT__.LST"},
        {"x:y*?<>|\"\t", "x_y_______.LST"}, {"...", "__..LST"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(LstFileName(c.key), c.name);
    }
}

TEST(TimeText, ParsesPairsFromTheirLeadingDigits) {
    struct Case {
        const char* text;
        bool ok;
        SetupTime time;
    } cases[] = {
        {"000000", true, {0, 0, 0}},  {"235959", true, {23, 59, 59}}, {"093000", true, {9, 30, 0}},
        {"0930", true, {9, 30, 0}},   {"1a2b3c", true, {1, 2, 3}},    {"", true, {0, 0, 0}},
        {"xx1500", true, {0, 15, 0}}, {"240000", false, {}},          {"126000", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SetupTime time{7, 7, 7};
        EXPECT_EQ(ParseTimeText(c.text, &time), c.ok);
        if (c.ok) {
            EXPECT_EQ(time, c.time);
        }
    }
    EXPECT_EQ(FormatTimeText({9, 5, 7}), "090507");
    EXPECT_EQ(FormatPickerTime({9, 5, 7}), "09:05:07");
}

TEST(RedirectTarget, FindsTheLocationHeader) {
    std::string target;
    EXPECT_TRUE(
        FindLocation("HTTP/1.1 302 Found\r\nLocation: http://h:81/f.txt\r\nX: y\r\n", &target));
    EXPECT_EQ(target, "http://h:81/f.txt");
    EXPECT_TRUE(FindLocation("Location: http://h/last", &target));
    EXPECT_EQ(target, "http://h/last");
    EXPECT_FALSE(FindLocation("HTTP/1.1 302 Found\r\nlocation: http://h/\r\n", &target));
}

TEST(RedirectTarget, CracksUrls) {
    struct Case {
        const char* url;
        bool ok;
        const char* server;
        const char* path;
        long port;
    } cases[] = {
        {"http://h/f.txt", true, "h", "/f.txt", 80},
        {"HTTP://h:8080/a/b", true, "h", "/a/b", 8080},
        {"https://h", true, "h", "/", 443},
        {"http://user@h:81/x", true, "h", "/x", 81},
        {"", false, "", "", 0},
        {"/relative/path", false, "", "", 0},
        {"mailto://h/x", false, "", "", 0},
        {"http:///x", false, "", "", 0},
        {"http://h:port/x", false, "", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        UrlParts parts;
        EXPECT_EQ(CrackUrl(c.url, &parts), c.ok);
        if (!c.ok)
            continue;
        EXPECT_EQ(parts.server, c.server);
        EXPECT_EQ(parts.objectPath, c.path);
        EXPECT_EQ(parts.port, c.port);
    }
}

}  // namespace
}  // namespace orvella
