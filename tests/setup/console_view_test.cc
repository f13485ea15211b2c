// The headless program's console: counts and progress drawn in place on a
// terminal, cut to its width; plain lines elsewhere.
#include "setup/console_view.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace orvella {
namespace {

// Everything written to file from its start.
std::string Contents(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[512];
    for (size_t got; (got = std::fread(buffer, 1, sizeof(buffer), file)) > 0;)
        text.append(buffer, got);
    return text;
}

struct Step {
    enum Kind { kStatus, kCount, kProgress, kEnd, kFailed } kind;
    std::string text;  // kProgress: unused
    int64_t done = 0;  // kProgress: bytes done of 2048
};

TEST(ConsoleView, CountsAndProgressOnATerminalOrAsLines) {
    const std::string erase = "\r\x1b[K";
    const std::vector<Step> download = {
        {Step::kStatus, "Request sent"},     {Step::kCount, "Total Bytes received 1024"},
        {Step::kProgress, "", 1024},         {Step::kCount, "Total Bytes received 2048"},
        {Step::kStatus, "Request complete"}, {Step::kEnd, ""},
    };
    struct Case {
        const char* name;
        bool terminal;
        int columns;
        std::vector<Step> steps;
        std::string out;
        std::string err;
    } cases[] = {
        {"not a terminal: a line per count, no progress", false, 20, download,
         "Request sent\nTotal Bytes received 1024\nTotal Bytes received 2048\n"
         "Request complete\n"},
        {"terminal of unknown width: redrawn in place, last count kept", true, 0, download,
         "Request sent\n" + erase + "Total Bytes received 1024" + erase +
             "Total Bytes received 1024  50% 1.0 KB of 2.0 KB" + erase +
             "Total Bytes received 2048  50% 1.0 KB of 2.0 KB" + erase +
             "Total Bytes received 2048\nRequest complete\n"},
        {"20 columns: each redraw cut to 19", true, 20, download,
         "Request sent\n" + erase + "Total Bytes receive" + erase + "Total Bytes receive" + erase +
             "Total Bytes receive" + erase + "Total Bytes received 2048\nRequest complete\n"},
        {"one column: nothing drawn",
         true,
         1,
         {{Step::kProgress, "", 2048}, {Step::kEnd, ""}},
         erase + erase},
        {"the end of the job keeps the last count",
         true,
         80,
         {{Step::kCount, "We have read in 9 bytes"}, {Step::kEnd, ""}},
         erase + "We have read in 9 bytes" + erase + "We have read in 9 bytes\n"},
        {"characters are not split",
         true,
         6,
         {{Step::kCount,
           "Gr\xc3\xb6\xc3\x9f"
           "e 12"}},
         erase + "Gr\xc3\xb6\xc3\x9f"
                 "e"},
        {"a failure goes to standard error as well",
         true,
         80,
         {{Step::kProgress, "", 0}, {Step::kFailed, "Download of symbol file failed: x"}},
         erase + "0% 0 bytes of 2.0 KB" + erase,
         "OrvellaNSTSetup: Download of symbol file failed: x\n"},
        {"a failure off a terminal",
         false,
         0,
         {{Step::kFailed, "failed: y"}},
         "",
         "OrvellaNSTSetup: failed: y\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        ASSERT_NE(out, nullptr);
        ASSERT_NE(err, nullptr);
        {
            CConsoleView view(out, err, c.terminal, [&] { return c.columns; });
            for (const Step& step : c.steps) {
                switch (step.kind) {
                    case Step::kStatus:
                        view.AppendStatus(step.text);
                        break;
                    case Step::kCount:
                        view.AppendCountStatus(step.text);
                        break;
                    case Step::kProgress: {
                        JobProgress progress;
                        progress.done = step.done;
                        progress.total = 2048;
                        view.ShowProgress(progress);
                        break;
                    }
                    case Step::kEnd:
                        view.SetProgress(0);
                        break;
                    case Step::kFailed:
                        view.ShowJobResult(step.text, true);
                        break;
                }
            }
            view.ShowJobResult("done", false);
        }
        EXPECT_EQ(Contents(out), c.out);
        EXPECT_EQ(Contents(err), c.err);
        std::fclose(out);
        std::fclose(err);
    }
}

}  // namespace
}  // namespace orvella
