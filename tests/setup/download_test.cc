// The symbol file download through the dialog's handler against a local
// HTTP server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "setup/setup_controller.h"
#include "setup/symbol_file_location.h"
#include "testing/setup/fake_settings_store.h"
#include "testing/setup/http_test_server.h"
#include "testing/setup/test_view.h"

namespace orvella {
namespace {

using test::CFakeSettingsStore;
using test::CHttpTestServer;
using test::CTempFolder;
using test::CTestView;
using Response = CHttpTestServer::Response;

constexpr char kOldContent[] = "the symbol file of yesterday\r\n";

std::string Body(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i)
        body[i] = static_cast<char>('A' + (i * 7 + i / 13) % 26);
    return body;
}

Response Redirect(int status, const std::string& location) {
    Response response;
    response.status = status;
    response.reason = "Moved";
    if (!location.empty())
        response.headers.push_back("Location: " + location);
    response.body = "moved";
    return response;
}

// Some clients report their handles being created and closed (60, 70) as
// well; the steps of the download are the same.
std::vector<std::string> WithoutHandleLines(const std::vector<std::string>& lines) {
    std::vector<std::string> kept;
    for (const std::string& line : lines) {
        if (line.rfind("dwInternetStatus 60;", 0) != 0 &&
            line.rfind("dwInternetStatus 70;", 0) != 0)
            kept.push_back(line);
    }
    return kept;
}

class DownloadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::ClearProxyEnvironment();
        view.port = std::to_string(server.Port());
        view.directory = root.Path();
        destination = root.Path() + "/mktlist_v2.txt";
        test::WriteFile(destination, kOldContent);
    }

    // Where the download of path stores its file.
    std::string Target(const std::string& path) const {
        return SymbolFilePath(root.Path(), LocateSymbolFile("h" + path));
    }

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(server.Port()) + path;
    }

    bool Download(const std::string& path) {
        view.website = "127.0.0.1" + path;
        CSetupController controller(&view, &store, minimumRate);
        const bool stored = controller.DownloadSymbolFile();
        EXPECT_TRUE(view.buttonsEnabled);
        EXPECT_EQ(view.waitDepth, 0);
        return stored;
    }

    CHttpTestServer server;
    CTempFolder root;
    CTestView view;
    CFakeSettingsStore store;
    MinimumRate minimumRate;
    std::string destination;
};

TEST_F(DownloadTest, StoresTheFileAndReportsEveryStep) {
    const std::string body = Body(300000);
    server.Route("/product/mktlist_v2.txt", {200, "OK", {}, body});
    EXPECT_TRUE(Download("/product/mktlist_v2.txt"));
    EXPECT_EQ(test::ReadFile(destination), body);
    EXPECT_FALSE(test::FileExists(destination + ".part"));
    EXPECT_TRUE(std::filesystem::is_directory(root.Path() + "/Servers/OrvellaForNST"));
    const std::vector<std::string> expected = {
        "Begining download of symbol file....",
        "dwInternetStatus 10; Resolving name 127.0.0.1",
        "dwInternetStatus 11; Name resolved 127.0.0.1",
        "dwInternetStatus 20; Connecting to socket address",
        "dwInternetStatus 21; Connected to socket address",
        "dwInternetStatus 30; Sending request",
        "dwInternetStatus 31; Request sent",
        "dwInternetStatus 41; Response received",
        "Total Bytes received 131071",
        "Total Bytes received 262142",
        "Total Bytes received 300000",
        "dwInternetStatus 100; Request complete",
        "dwInternetStatus 50; Closing the connection to the server",
        "dwInternetStatus 51; Connection to the server closed",
        "Status Code 200 was returned.",
        "Download of symbol file is complete....",
    };
    EXPECT_EQ(WithoutHandleLines(view.status), expected);
    // The bar showed the share of the announced length, up to the whole.
    ASSERT_FALSE(view.progressShown.empty());
    EXPECT_EQ(view.progressShown.back().done, 300000);
    EXPECT_EQ(view.progressShown.back().total, 300000);
    EXPECT_GE(view.pumps, 3);
    EXPECT_EQ(view.progress, 0);
    EXPECT_FALSE(view.cancelShown);
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].substr(0, 36), "GET /product/mktlist_v2.txt HTTP/1.1");
    EXPECT_NE(requests[0].find("\r\nUser-Agent: GetWebFile/1.0\r\n"), std::string::npos);
    EXPECT_NE(requests[0].find("\r\nAccept: audio/x-aiff, audio/basic, audio/midi, audio/mpeg, "
                               "audio/wav, image/jpeg, image/gif, image/jpg, image/png, "
                               "image/mng, image/bmp, text/plain, text/html, text/htm\r\n"),
              std::string::npos);
}

TEST_F(DownloadTest, FollowsOneRedirect) {
    const std::string body = Body(5000);
    server.Route("/new.txt", {200, "OK", {}, body});
    for (int status : {301, 302, 303}) {
        SCOPED_TRACE(status);
        test::WriteFile(destination, kOldContent);
        server.Route("/moved.txt", Redirect(status, Url("/new.txt")));
        EXPECT_TRUE(Download("/moved.txt"));
        EXPECT_EQ(test::ReadFile(Target("/moved.txt")), body);
        EXPECT_TRUE(view.HasStatus("dwInternetStatus 110; Being redirected"));
        EXPECT_EQ(view.status[view.status.size() - 2], "Status Code 200 was returned.");
    }
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 6u);
    // The redirected request carries the client's own agent name.
    EXPECT_NE(requests[1].find("\r\nUser-Agent: OrvellaNSTSetup\r\n"), std::string::npos);
    EXPECT_NE(requests[1].find("\r\nAccept: audio/x-aiff"), std::string::npos);
}

TEST_F(DownloadTest, OutcomesThatStoreNothing) {
    server.Route("/denied.txt", {401, "Unauthorized", {}, "no"});
    server.Route("/noloc.txt", Redirect(302, ""));
    server.Route("/relative.txt", Redirect(302, "/new.txt"));
    server.Route("/gone.txt", Redirect(301, Url("/missing.txt")));
    server.Route("/cut.txt", {200, "OK", {}, Body(1000000), 300000});
    // Servers that send a byte now and then, in the body or from the start:
    // given up after the (shortened) period below the minimum rate.
    minimumRate.periodSeconds = 2;
    Response slowBody{200, "OK", {}, Body(100000)};
    slowBody.trickleMs = 50;
    server.Route("/slow_body.txt", slowBody);
    slowBody.trickleHead = true;
    server.Route("/slow_head.txt", slowBody);
    const std::string tooSlow =
        "Operation too slow. Less than 1024 bytes/sec transferred the last 2 seconds";
    struct Case {
        const char* path;
        std::vector<std::string> lastLines;  // ending with "Status Code ..."
    } cases[] = {
        {"/denied.txt", {"401; HTTP_STATUS_DENIED", "Status Code 401 was returned."}},
        {"/missing.txt",
         {"dwInternetStatus 51; Connection to the server closed", "Status Code 404 was returned."}},
        {"/noloc.txt", {"Find did not find 'Location: '", "Status Code 0 was returned."}},
        {"/relative.txt",
         {"URL was empty or does not contain a known Internet service type",
          "Status Code 0 was returned."}},
        {"/gone.txt", {"404; HTTP_STATUS was not OK!", "Status Code 404 was returned."}},
        {"/program.exe",
         {"Begining download of symbol file....", "Illegal file extension exe",
          "Status Code 0 was returned."}},
        {"/program.EXE",
         {"Begining download of symbol file....", "Illegal file extension EXE",
          "Status Code 0 was returned."}},
        {"/tool.Dll?version=2#top",
         {"Begining download of symbol file....", "Illegal file extension Dll",
          "Status Code 0 was returned."}},
        {"/cut.txt",
         {"dwInternetStatus 51; Connection to the server closed",
          "transfer closed with 700000 bytes remaining to read",
          "The download failed after 262142 bytes; the symbol file was left as it was.",
          "Status Code 0 was returned."}},
        {"/slow_body.txt",
         {tooSlow, "The download failed after 0 bytes; the symbol file was left as it was.",
          "Status Code 0 was returned."}},
        {"/slow_head.txt", {tooSlow, "Status Code 0 was returned."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string target = Target(c.path);
        test::WriteFile(target, kOldContent);
        EXPECT_FALSE(Download(c.path));
        EXPECT_EQ(test::ReadFile(target), kOldContent);
        EXPECT_FALSE(test::FileExists(target + ".part"));
        const std::vector<std::string> status = WithoutHandleLines(view.status);
        ASSERT_GE(status.size(), c.lastLines.size() + 1);
        const std::vector<std::string> last(status.end() - 1 - c.lastLines.size(),
                                            status.end() - 1);
        EXPECT_EQ(last, c.lastLines);
        EXPECT_EQ(view.status.back(), "Download of symbol file is complete....");
    }
}

TEST_F(DownloadTest, ProgressShowsTheShareOrTheByteCount) {
    const std::string body = Body(400000);
    for (const bool announced : {true, false}) {
        SCOPED_TRACE(announced ? "length announced" : "no length");
        Response slow{200, "OK", {}, body};
        // Pieces further apart than the shortest time between two updates.
        slow.stepBytes = 100000;
        slow.stepDelayMs = static_cast<int>(CProgressMeter::kMinInterval * 1000) + 50;
        slow.announceLength = announced;
        server.Route("/mktlist_v2.txt", slow);
        view.progressShown.clear();
        EXPECT_TRUE(Download("/mktlist_v2.txt"));
        EXPECT_EQ(test::ReadFile(destination), body);
        ASSERT_GE(view.progressShown.size(), 4u);
        int64_t done = 0;
        for (const JobProgress& shown : view.progressShown) {
            EXPECT_EQ(shown.total, announced ? 400000 : -1);
            EXPECT_GE(shown.done, done);
            done = shown.done;
        }
        EXPECT_EQ(done, 400000);
        EXPECT_EQ(view.progress, 0);
    }
}

TEST_F(DownloadTest, CancelKeepsThePreviousFileAtEveryStage) {
    Response slow{200, "OK", {}, Body(600000)};
    slow.stepBytes = 100000;
    slow.stepDelayMs = 50;
    server.Route("/slow.txt", slow);
    Response silent = slow;
    silent.headDelayMs = 10000;
    server.Route("/silent.txt", silent);
    struct Stage {
        const char* name;
        const char* path;
        bool beforeTheJob;
        int64_t cancelAfter;  // body bytes received when Cancel is pressed; -1: at once
        const char* line;
    };
    const Stage stages[] = {
        {"Ctrl-C before the job started", "/slow.txt", true, -1,
         "The download was cancelled after 0 bytes; the symbol file was left as it was."},
        {"waiting for the response", "/silent.txt", false, -1,
         "The download was cancelled after 0 bytes; the symbol file was left as it was."},
        {"during the body", "/slow.txt", false, 100000, "The download was cancelled after "},
    };
    for (const Stage& stage : stages) {
        SCOPED_TRACE(stage.name);
        const std::string target = Target(stage.path);
        test::WriteFile(target, kOldContent);
        view.website = "127.0.0.1" + std::string(stage.path);
        view.progressShown.clear();
        CSetupController controller(&view, &store);
        if (stage.beforeTheJob)
            controller.RequestCancel();
        view.onPump = [&] {
            EXPECT_TRUE(view.cancelShown);
            EXPECT_FALSE(view.buttonsEnabled);
            const int64_t done = view.progressShown.empty() ? -1 : view.progressShown.back().done;
            if (!stage.beforeTheJob && done >= stage.cancelAfter)
                controller.RequestCancel();
        };
        EXPECT_FALSE(controller.DownloadSymbolFile());
        view.onPump = nullptr;
        EXPECT_EQ(test::ReadFile(target), kOldContent);
        EXPECT_FALSE(test::FileExists(target + ".part"));
        EXPECT_TRUE(view.HasStatus(stage.line)) << ::testing::PrintToString(view.status);
        EXPECT_EQ(view.status[view.status.size() - 2], "Status Code 0 was returned.");
        EXPECT_EQ(view.status.back(), "Download of symbol file is complete....");
        EXPECT_TRUE(view.buttonsEnabled);
        EXPECT_FALSE(view.cancelShown);
        EXPECT_EQ(view.waitDepth, 0);
        EXPECT_EQ(view.progress, 0);
        EXPECT_FALSE(controller.CancelRequested());
    }
}

TEST_F(DownloadTest, ClientErrorsAreDescribed) {
    struct Case {
        std::string website;
        std::string port;
        std::string description;  // part of the client's error description
    } cases[] = {
        {"127.0.0.1/mktlist_v2.txt", std::to_string(CHttpTestServer::UnusedPort()),
         "Couldn't connect to server"},
        {"no-host-in-this-text", view.port, "URL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.website);
        view.website = c.website;
        view.port = c.port;
        CSetupController controller(&view, &store);
        EXPECT_FALSE(controller.DownloadSymbolFile());
        const std::vector<std::string> status = WithoutHandleLines(view.status);
        ASSERT_GE(status.size(), 4u);
        EXPECT_NE(status[status.size() - 3].find(c.description), std::string::npos)
            << status[status.size() - 3];
        EXPECT_EQ(status[status.size() - 2], "Status Code 0 was returned.");
        EXPECT_EQ(test::ReadFile(destination), kOldContent);
        EXPECT_TRUE(view.buttonsEnabled);
        EXPECT_EQ(view.waitDepth, 0);
    }
}

TEST_F(DownloadTest, ADestinationThatCannotBeCreatedEndsTheJob) {
    server.Route("/mktlist_v2.txt", {200, "OK", {}, Body(1000)});
    std::filesystem::create_directories(destination + ".part");
    EXPECT_FALSE(Download("/mktlist_v2.txt"));
    EXPECT_TRUE(view.HasStatus("The symbol file could not be created " + Target("/mktlist_v2.txt") +
                               ".part"))
        << ::testing::PrintToString(view.status);
    EXPECT_EQ(view.status[view.status.size() - 2], "Status Code 0 was returned.");
    EXPECT_EQ(test::ReadFile(destination), kOldContent);
}

}  // namespace
}  // namespace orvella
