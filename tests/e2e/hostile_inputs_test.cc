// What a hostile web server or symbol file can make the setup program write:
// only the symbol file in the host's folder and LST files directly in its
// LST folder, whatever the redirect, the headers or the columns say.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "setup/setup_controller.h"
#include "testing/setup/fake_settings_store.h"
#include "testing/setup/http_test_server.h"
#include "testing/setup/test_view.h"

namespace orvella {
namespace {

namespace fs = std::filesystem;

using test::CHttpTestServer;

// Every file below top, relative to it.
std::vector<std::string> FilesBelow(const fs::path& top) {
    std::vector<std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(top)) {
        if (!entry.is_directory()) {
            files.push_back(fs::relative(entry.path(), top).string());
        }
    }
    return files;
}

class HostileInputs : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
            ::unsetenv(name);
        }
        // The host's folder two levels below the scratch folder, so that an
        // escape upwards would still land where the test looks.
        root = fs::path(top.Path()) / "a" / "root";
        fs::create_directories(root);
        view.directory = root.string();
        view.port = std::to_string(server.Port());
    }

    test::CTempFolder top;
    fs::path root;
    CHttpTestServer server;
    test::CTestView view;
    test::CFakeSettingsStore store;
};

TEST_F(HostileInputs, ARedirectCannotChooseWhereTheFileGoes) {
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port());
    CHttpTestServer::Response moved;
    moved.status = 302;
    moved.reason = "Found";
    moved.headers = {"Location: " + url + "/../../escape/evil.exe",
                     "Content-Disposition: attachment; filename=\"../../evil.exe\""};
    server.Route("/product/mktlist_v2.txt", moved);
    CHttpTestServer::Response evil{
        200, "OK", {"Content-Disposition: attachment; filename=../x"}, "evil\r\n"};
    server.Route("/escape/evil.exe", evil);
    server.Route("/../../escape/evil.exe", evil);

    view.website = "127.0.0.1/product/mktlist_v2.txt";
    CSetupController controller(&view, &store);
    controller.DownloadSymbolFile();
    EXPECT_TRUE(view.HasStatus("Status Code 200 was returned."));
    EXPECT_EQ(test::ReadFile((root / "mktlist_v2.txt").string()), "evil\r\n");
    // The file has the website's name, whatever the server said.
    for (const std::string& file : FilesBelow(top.Path())) {
        EXPECT_EQ(file, "a/root/mktlist_v2.txt");
    }
}

TEST_F(HostileInputs, SymbolFileColumnsCannotLeaveTheLstFolder) {
    test::WriteFile((root / "mktlist_v2.txt").string(),
                    "symbol\tdescription\texchange\tlisted\ttype\t\r\n"
                    "A\tescape up\t../..\t\tEQUITY\t\r\n"
                    "B\tabsolute\t/tmp\t\t/etc/passwd\t\r\n"
                    "..\tdots\t..\t\t..\t\r\n"
                    "C\tseparators\ta\\b\t\tc/d\t\r\n"
                    "/x\toption\tOPRA\t\tIEOPTION\t\r\n"
                    ".y\toption\tOPRA\t\tFOPTION\t\r\n");
    view.website = "127.0.0.1/product/mktlist_v2.txt";
    view.checks[CSetupView::Check::kContinuous] = true;
    CSetupController controller(&view, &store);
    controller.BuildLstFiles();
    const std::string lstFolder = "a/root/Servers/OrvellaForNST/";
    size_t lists = 0;
    for (const std::string& file : FilesBelow(top.Path())) {
        if (file == "a/root/mktlist_v2.txt") {
            continue;
        }
        ASSERT_EQ(file.rfind(lstFolder, 0), 0u) << file;
        EXPECT_EQ(file.find('/', lstFolder.size()), std::string::npos) << file;
        ++lists;
    }
    // Each group still got its own file (future_c.lst and six exchange files).
    EXPECT_EQ(lists, 7u);
}

}  // namespace
}  // namespace orvella
