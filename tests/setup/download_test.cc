// The symbol file download through the dialog's handler against a local
// HTTP server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "setup/internet_session.h"
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

// Lines of 50 letters, each ended by CR LF, the last one too.
std::string Body(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i)
        body[i] = static_cast<char>('A' + (i * 7 + i / 13) % 26);
    for (size_t end = 51; end < size; end += 52) {
        body[end - 1] = '\r';
        body[end] = '\n';
    }
    if (size >= 2)
        body.replace(size - 2, 2, "\r\n");
    return body;
}

constexpr char kKept[] = "; the symbol file was left as it was.";

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

std::string Failed(const std::string& reason) {
    return "Download of symbol file failed: " + reason + kKept;
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

// A client that measures the rate itself gives up after the first whole
// period below it, and starts a new period after one that was fast enough.
TEST(RateCheckTest, GivesUpAfterOneWholePeriodBelowTheRate) {
    struct Row {
        const char* what;
        std::vector<std::pair<long long, uint64_t>> arrivals;  // bytes, at ms
        bool kept;
    };
    const MinimumRate rate{100, 2};  // 200 bytes in each 2000 ms
    const Row rows[] = {
        {"nothing within the period yet", {{0, 1999}}, true},
        {"too little over the period", {{150, 500}, {49, 2000}}, false},
        {"just enough over the period", {{150, 500}, {50, 2000}}, true},
        {"a fast period, then a slow one", {{300, 2000}, {199, 4000}}, false},
        {"a fast period, then the next still running", {{300, 2000}, {0, 3999}}, true},
    };
    for (const Row& row : rows) {
        CRateCheck check(rate, 0);
        bool kept = true;
        for (const auto& [bytes, at] : row.arrivals) {
            kept = check.Note(bytes, at);
        }
        EXPECT_EQ(kept, row.kept) << row.what;
    }
    EXPECT_EQ(rate.TooSlowText(),
              "Operation too slow. Less than 100 bytes/sec transferred the last 2 seconds");
}

TEST_F(DownloadTest, StoresTheFileAndReportsEveryStep) {
    const std::string body = Body(300000);
    server.Route("/product/mktlist_v2.txt", {200, "OK", {}, body});
    // With logging on the client's notifications keep their codes.
    for (const bool logging : {false, true}) {
        SCOPED_TRACE(logging ? "logging" : "no logging");
        view.checks[CSetupView::Check::kLogging] = logging;
        test::WriteFile(destination, kOldContent);
        EXPECT_TRUE(Download("/product/mktlist_v2.txt"));
        EXPECT_EQ(test::ReadFile(destination), body);
        EXPECT_FALSE(test::FileExists(destination + ".part"));
        EXPECT_TRUE(std::filesystem::is_directory(root.Path() + "/Servers/OrvellaForNST"));
        auto step = [&](const char* code, const std::string& text) {
            return logging ? "dwInternetStatus " + std::string(code) + "; " + text : text;
        };
        const std::vector<std::string> expected = {
            "Begining download of symbol file....",
            step("10", "Resolving name 127.0.0.1"),
            step("11", "Name resolved 127.0.0.1"),
            step("20", "Connecting to socket address"),
            step("21", "Connected to socket address"),
            step("30", "Sending request"),
            step("31", "Request sent"),
            step("41", "Response received"),
            "Total Bytes received 131071",
            "Total Bytes received 262142",
            "Total Bytes received 300000",
            step("100", "Request complete"),
            step("50", "Closing the connection to the server"),
            step("51", "Connection to the server closed"),
            "Status Code 200 was returned.",
            "Download of symbol file is complete....",
        };
        EXPECT_EQ(WithoutHandleLines(view.status), expected);
    }
    // The bar showed the share of the announced length, up to the whole.
    ASSERT_FALSE(view.progressShown.empty());
    EXPECT_EQ(view.progressShown.back().done, 300000);
    EXPECT_EQ(view.progressShown.back().total, 300000);
    EXPECT_GE(view.pumps, 3);
    EXPECT_EQ(view.progress, 0);
    EXPECT_FALSE(view.cancelShown);
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
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
        EXPECT_TRUE(view.HasStatus("Being redirected"));
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
        std::string reason;                  // of the last line
    } cases[] = {
        {"/denied.txt",
         {"401; HTTP_STATUS_DENIED", "Status Code 401 was returned."},
         "the server refused access (status 401)"},
        {"/missing.txt",
         {"Connection to the server closed", "Status Code 404 was returned."},
         "the server answered with status 404"},
        {"/noloc.txt",
         {"Find did not find 'Location: '", "Status Code 0 was returned."},
         "the server redirected without naming where to"},
        {"/relative.txt",
         {"URL was empty or does not contain a known Internet service type",
          "Status Code 0 was returned."},
         "the server redirected to \"/new.txt\", which is not a web address"},
        {"/gone.txt",
         {"404; HTTP_STATUS was not OK!", "Status Code 404 was returned."},
         "the redirected request was answered with status 404"},
        {"/program.exe",
         {"Begining download of symbol file....", "Illegal file extension exe",
          "Status Code 0 was returned."},
         "files ending in exe are not downloaded"},
        {"/program.EXE",
         {"Begining download of symbol file....", "Illegal file extension EXE",
          "Status Code 0 was returned."},
         "files ending in EXE are not downloaded"},
        {"/tool.Dll?version=2#top",
         {"Begining download of symbol file....", "Illegal file extension Dll",
          "Status Code 0 was returned."},
         "files ending in Dll are not downloaded"},
        {"/cut.txt",
         {"Connection to the server closed", "transfer closed with 700000 bytes remaining to read",
          "The download failed after 262142 bytes; the symbol file was left as it was.",
          "Status Code 0 was returned."},
         "transfer closed with 700000 bytes remaining to read"},
        {"/slow_body.txt",
         {tooSlow, "The download failed after 0 bytes; the symbol file was left as it was.",
          "Status Code 0 was returned."},
         tooSlow},
        {"/slow_head.txt", {tooSlow, "Status Code 0 was returned."}, tooSlow},
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
        EXPECT_EQ(view.status.back(), Failed(c.reason));
        EXPECT_EQ(view.result, view.status.back());
        EXPECT_TRUE(view.resultFailed);
    }
}

// Replies that cannot be a symbol file, or may be cut short, replace nothing;
// whole ones are kept, with or without an announced length.
TEST_F(DownloadTest, EmptyOrCutRepliesKeepTheOldFile) {
    struct Case {
        const char* name;
        std::string body;
        bool announceLength;
        const char* reason;  // nullptr: stored
    } cases[] = {
        {"empty, length 0", "", true, "the server sent an empty file"},
        {"empty, closed at once", "", false, "the server sent an empty file"},
        {"no line end, with length", "Symbol\tDescription", true,
         "the server sent 18 bytes without a line end, which cannot be a symbol file"},
        {"no line end, no length", "Symbol", false,
         "the server sent 6 bytes without a line end, which cannot be a symbol file"},
        {"cut inside a line, no length", "Symbol\tDescription\r\nABC\tAl", false,
         "the server sent no length and the reply ended inside a line after 26 bytes, so it "
         "may have been cut short"},
        {"cut after a block, no length", Body(300000).substr(0, 200000), false,
         "the server sent no length and the reply ended inside a line after 200000 bytes, so "
         "it may have been cut short"},
        {"whole lines, no length", "Symbol\tDescription\r\nABC\tAlpha\r\n", false, nullptr},
        {"header line only, no length", "Symbol\r\n", false, nullptr},
        {"last line open, with length", "Symbol\r\nABC\tAlpha", true, nullptr},
        {"many blocks, no length", Body(300000), false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Response response{200, "OK", {}, c.body};
        response.announceLength = c.announceLength;
        server.Route("/mktlist_v2.txt", response);
        test::WriteFile(destination, kOldContent);
        EXPECT_EQ(Download("/mktlist_v2.txt"), c.reason == nullptr);
        EXPECT_EQ(test::ReadFile(destination), c.reason == nullptr ? c.body : kOldContent);
        EXPECT_FALSE(test::FileExists(destination + ".part"));
        EXPECT_EQ(view.status.back(), c.reason == nullptr
                                          ? "Download of symbol file is complete...."
                                          : Failed(c.reason));
        EXPECT_EQ(view.resultFailed, c.reason != nullptr);
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
        EXPECT_EQ(view.status.back(), std::string("Download of symbol file cancelled") + kKept);
        EXPECT_TRUE(view.resultFailed);
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
        EXPECT_NE(view.status.back().find(c.description), std::string::npos) << view.status.back();
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
