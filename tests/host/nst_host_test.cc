// nst-host run as a program against a small fake plug-in.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QImage>
#include <QXmlStreamReader>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class NstHostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::temp_directory_path() /
                ("nst-host-test-" + std::to_string(getpid()) + "-" + info->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs nst-host with these arguments; standard output and error are
    // collected through files.
    Outcome Run(const std::vector<std::string>& args) {
        std::vector<std::string> all{NST_HOST_PATH};
        all.insert(all.end(), args.begin(), args.end());
        return RunProgram(all, {});
    }

    // Runs argv[0] (a path) with the environment plus the NAME=VALUE texts.
    Outcome RunProgram(std::vector<std::string> all, std::vector<std::string> extraEnv) {
        std::vector<char*> argv;
        for (auto& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : extraEnv) {
            envp.push_back(e.data());
        }
        for (char** e = environ; *e != nullptr; ++e) {
            envp.push_back(*e);
        }
        envp.push_back(nullptr);
        const std::string out = (m_dir / "stdout").string();
        const std::string err = (m_dir / "stderr").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        pid_t pid = 0;
        Outcome outcome;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        outcome.out = ReadFile(out);
        outcome.err = ReadFile(err);
        return outcome;
    }

    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(m_dir / name, std::ios::binary) << text;
        return (m_dir / name).string();
    }

    fs::path m_dir;
};

// One flat JSON object: string values decoded (\u00XX to that byte), other
// values as their raw text.
using Record = std::map<std::string, std::string>;

std::string ParseString(const std::string& text, size_t* i) {
    std::string value;
    for (++*i; *i < text.size() && text[*i] != '"'; ++*i) {
        char c = text[*i];
        if (c != '\\') {
            value.push_back(c);
            continue;
        }
        c = text[++*i];
        switch (c) {
            case 'n':
                value.push_back('\n');
                break;
            case 'r':
                value.push_back('\r');
                break;
            case 't':
                value.push_back('\t');
                break;
            case 'u': {
                const unsigned code = std::stoul(text.substr(*i + 1, 4), nullptr, 16);
                value.push_back(code < 0x100 ? static_cast<char>(code) : '?');
                *i += 4;
                break;
            }
            default:
                value.push_back(c);
        }
    }
    ++*i;
    return value;
}

Record ParseRecord(const std::string& line) {
    Record record;
    size_t i = 1;
    while (i < line.size() && line[i] == '"') {
        const std::string name = ParseString(line, &i);
        ++i;  // ':'
        if (line[i] == '"') {
            record[name] = ParseString(line, &i);
        } else {
            const size_t end = line.find_first_of(",}", i);
            record[name] = line.substr(i, end - i);
            i = end;
        }
        if (line[i] == ',') {
            ++i;
        }
    }
    return record;
}

std::vector<Record> ParseRecords(const std::string& text) {
    std::vector<Record> records;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        EXPECT_TRUE(line.size() > 2 && line.front() == '{' && line.back() == '}') << line;
        records.push_back(ParseRecord(line));
    }
    return records;
}

std::vector<std::string> Calls(const std::vector<Record>& records) {
    std::vector<std::string> calls;
    for (const Record& r : records) {
        calls.push_back(r.at("call"));
    }
    return calls;
}

TEST_F(NstHostTest, RecordsEveryCallInOrder) {
    const std::string script = Write("script",
                                     "# a comment, then a blank line\n"
                                     "\n"
                                     "credentials \"\" \"\"\n"
                                     "request \"A B\" 5 2011-08-01T09:30:00 \"rows=2 box\" \"\" "
                                     "Date,Close,Volume\n"
                                     "remove \"A B\" 5\n");
    const std::string record = (m_dir / "record.jsonl").string();
    const Outcome run = Run({"--record", record, "--user", "demo", "--password", "pw", "--script",
                             script, "--quiet", FAKE_PLUGIN_PATH});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");  // --quiet

    const std::vector<Record> r = ParseRecords(ReadFile(record));
    const std::vector<std::string> expected = {"RequireUserIDPassword",
                                               "Load",
                                               "MessageBox",
                                               "UserIDPasswordChanged",
                                               "GetUserIDPassword",
                                               "MessageBox",
                                               "NSTSETUPDATA",
                                               "NSTSETLABEL",
                                               "NSTSETLABEL",
                                               "NSTSETLABEL",
                                               "NSTSETVALUE",
                                               "NSTSETVALUE",
                                               "NSTSETVALUE",
                                               "NSTCOMMITROW",
                                               "UpdatePercent",
                                               "NSTSETVALUE",
                                               "NSTSETVALUE",
                                               "NSTSETVALUE",
                                               "NSTCOMMITROW",
                                               "UpdatePercent",
                                               "UpdatePercent",
                                               "MessageBox",
                                               "RequestTicker",
                                               "RemoveTicker",
                                               "Unload"};
    ASSERT_EQ(Calls(r), expected);
    EXPECT_EQ(r[1].at("path"), FAKE_PLUGIN_PATH);
    EXPECT_EQ(r[2].at("caption"), "FakePlugin");
    EXPECT_EQ(r[2].at("flags"), "4112");
    EXPECT_EQ(r[3].at("user"), "");
    EXPECT_EQ(r[3].at("result"), "0");
    EXPECT_EQ(r[5].at("text"), "user=demo password=pw");
    EXPECT_EQ(r[6].at("symbol"), "A B");
    EXPECT_EQ(r[6].at("interval"), "-5");
    EXPECT_EQ(r[6].at("columns"), "3");
    EXPECT_EQ(r[6].at("start"), "40756.395833333336");
    EXPECT_EQ(r[6].at("description"), "rows=2 box");
    EXPECT_EQ(r[6].at("category"), "");
    EXPECT_EQ(r[9].at("column"), "3");
    EXPECT_EQ(r[9].at("label"), "Volume");
    EXPECT_EQ(r[11].at("value"), "10.5");
    EXPECT_EQ(r[20].at("percent"), "100");
    EXPECT_EQ(r[21].at("text"), "Caf\xE9 \"quoted\"\n");
    EXPECT_EQ(r[22].at("interval"), "5");
    EXPECT_EQ(r[22].at("columns"), "Date,Close,Volume");  // as passed, before the cut
    EXPECT_EQ(r[22].at("result"), "1");
    EXPECT_EQ(r[23].at("result"), "1");
    // Bytes from 0x80 up are written as \u00XX.
    EXPECT_NE(ReadFile(record).find(R"(Caf\u00e9)"), std::string::npos);
}

TEST_F(NstHostTest, NegativeZeroIntervalAndValuesRoundTrip) {
    const std::string record = (m_dir / "record.jsonl").string();
    const Outcome run = Run({"--record", record, "-c", "credentials u p", "-c",
                             "request T 0 40756.5 \"negzero rows=1 unannounced\" x "
                             "Date/Time,TickPrice",
                             FAKE_PLUGIN_PATH});
    ASSERT_EQ(run.status, 0) << run.err;
    bool sawSetup = false, sawValue = false;
    for (const Record& r : ParseRecords(ReadFile(record))) {
        if (r.at("call") == "NSTSETUPDATA") {
            EXPECT_EQ(r.at("interval"), "-0.0");
            sawSetup = true;
        }
        if (r.at("call") == "NSTSETVALUE" && r.at("interval") == "-0.0" && r.at("column") == "2") {
            EXPECT_EQ(r.at("value"), "-0.0");
            EXPECT_TRUE(std::signbit(std::strtod(r.at("value").c_str(), nullptr)));
            sawValue = true;
        }
        if (r.at("call") == "RequestTicker") {
            EXPECT_EQ(r.at("interval"), "0");
        }
    }
    EXPECT_TRUE(sawSetup && sawValue);
    // -0.0 and 0.0 are two series; the one at 0.0 was never announced.
    EXPECT_NE(run.out.find("series T -0.0: 2 columns (Date/Time,TickPrice), 1 rows (1 history"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("series T 0: never announced, 1 rows"), std::string::npos) << run.out;
}

// The record shows a password as the plug-in's log does, and only its owner
// may read it, also when an older record was readable by everyone.
TEST_F(NstHostTest, TheRecordMasksThePasswordAndIsPrivate) {
    struct Case {
        const char* credentials;
        bool readableBefore;  // an older record with mode 0644 is there
        const char* password;
    } cases[] = {
        {"credentials u \"se cret\"", false, "********"},
        {"credentials u x", true, "********"},
        {"credentials u \"\"", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.credentials);
        const fs::path record = m_dir / "record.jsonl";
        fs::remove(record);
        if (c.readableBefore) {
            std::ofstream(record) << "old\n";
            fs::permissions(record, fs::perms(0644));
        }
        const Outcome run =
            Run({"--record", record.string(), "-c", c.credentials, FAKE_PLUGIN_PATH});
        ASSERT_EQ(run.status, 0) << run.err;
        int checked = 0;
        for (const Record& r : ParseRecords(ReadFile(record))) {
            if (r.at("call") == "UserIDPasswordChanged") {
                EXPECT_EQ(r.at("password"), c.password);
                ++checked;
            }
        }
        EXPECT_EQ(checked, 1);
        EXPECT_EQ(fs::status(record).permissions(), fs::perms(0600));
    }
}

TEST_F(NstHostTest, MessagesPostedByThePlugInAreDispatched) {
    const std::string record = (m_dir / "record.jsonl").string();
    const Outcome run =
        Run({"--record", record, "-c", "credentials u p", "-c",
             "request S 5 2011-08-01 \"rows=1 post=3\"", "-c", "pump 0.05", FAKE_PLUGIN_PATH});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("series S -5: 6 columns (Date,Open,High,Low,Close,Volume), 4 rows "
                           "(1 history, 3 streamed)"),
              std::string::npos)
        << run.out;
    // The streamed rows come after the request has returned.
    const std::vector<std::string> calls = Calls(ParseRecords(ReadFile(record)));
    const auto request = std::find(calls.begin(), calls.end(), "RequestTicker");
    EXPECT_EQ(std::count(request, calls.end(), "NSTCOMMITROW"), 3);
}

TEST_F(NstHostTest, RecordToStdoutKeepsTheSummaryOut) {
    const Outcome run =
        Run({"--record", "-", "-c", "request Q 1 2011-08-01 rows=3", FAKE_PLUGIN_PATH});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Record> records = ParseRecords(run.out);
    EXPECT_EQ(records.size(), 38u);
    EXPECT_NE(run.err.find("series Q -1:"), std::string::npos);
}

TEST_F(NstHostTest, CountOnlyKeepsCounts) {
    const Outcome run = Run({"--count-only", "--chart-dir", (m_dir / "charts").string(), "-c",
                             "request C 1 2011-08-01 rows=20000", FAKE_PLUGIN_PATH});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("series C -1: 6 columns (Date,Open,High,Low,Close,Volume), 20000 rows"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("last values: 2011-08-14 21:19:00 20009.5 20009.75"), std::string::npos)
        << run.out;
    EXPECT_NE(ReadFile(m_dir / "charts" / "C_-1.svg").find("rows not kept"), std::string::npos);
}

TEST_F(NstHostTest, MalformedLineStopsBeforeLoading) {
    const std::string script = Write("bad.txt",
                                     "credentials u p\n"
                                     "request ABC 5 2011-08-01\n"
                                     "request ABC five 2011-08-01\n");
    const std::string record = (m_dir / "record.jsonl").string();
    const Outcome run = Run({"--record", record, "--script", script, FAKE_PLUGIN_PATH});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("bad.txt:3: bad interval 'five'"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(record), "");

    const Outcome quote = Run({"-c", "pump 0", "-c", "credentials \"u p", FAKE_PLUGIN_PATH});
    EXPECT_EQ(quote.status, 1);
    EXPECT_NE(quote.err.find("-c #2: unterminated quote"), std::string::npos) << quote.err;
}

TEST_F(NstHostTest, UnloadAndLoadAgain) {
    const Outcome run = Run({"-c", "unload", "-c", "remove A 5", FAKE_PLUGIN_PATH});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("-c #2: the plug-in is not loaded"), std::string::npos) << run.err;

    const std::string record = (m_dir / "record.jsonl").string();
    const Outcome again = Run(
        {"--record", record, "-c", "unload", "-c", "load", "-c", "remove A 5", FAKE_PLUGIN_PATH});
    ASSERT_EQ(again.status, 0) << again.err;
    const std::vector<std::string> expected = {
        "RequireUserIDPassword", "Load",  "Unload", "RequireUserIDPassword", "Load",
        "RemoveTicker",          "Unload"};
    EXPECT_EQ(Calls(ParseRecords(ReadFile(record))), expected);
}

TEST_F(NstHostTest, LoadFailuresExitWithTwo) {
    const Outcome missing = Run({(m_dir / "no-such-plugin.so").string()});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot load"), std::string::npos) << missing.err;

    // A shared library without the three exports.
    const Outcome wrong = Run({FEED_LIBRARY_PATH});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("does not export"), std::string::npos) << wrong.err;

    EXPECT_EQ(Run({"--bogus", FAKE_PLUGIN_PATH}).status, 2);
    EXPECT_EQ(Run({}).status, 1);
    const Outcome help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: nst-host"), std::string::npos);
}

TEST_F(NstHostTest, ChartFolderHoldsChartsAndPage) {
    const fs::path charts = m_dir / "charts";
    const Outcome run =
        Run({"--chart-dir", charts.string(), "-c", "credentials u p", "-c",
             "request \"S&P<\" 5 2011-08-01 \"rows=5 post=2\"", "-c",
             "request T 0 2011-08-01 rows=3 \"\" Date/Time,TickPrice,TickVol", FAKE_PLUGIN_PATH});
    ASSERT_EQ(run.status, 0) << run.err;
    // Five history rows a minute apart make one five-minute bar; the two
    // streamed rows fall on two later days. Ticks stay one mark per row.
    struct Case {
        const char* file;
        int rows;
        std::vector<std::string> marks;  // class of each mark, in order
    };
    const Case cases[] = {
        {"S%26P%3C_-5.svg", 7, {"candle up history", "candle up streamed", "candle up streamed"}},
        {"T_-0.0.svg", 3, {"tick trade history", "tick trade history", "tick trade history"}},
    };
    for (const Case& c : cases) {
        QFile file(QString::fromStdString((charts / c.file).string()));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << c.file;
        QXmlStreamReader xml(&file);
        std::vector<std::string> marks;
        QString title;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement) {
                continue;
            }
            const QString cls = xml.attributes().value("class").toString();
            if (title.isEmpty() && xml.name() == QLatin1String("title")) {
                title = xml.readElementText();
            } else if (xml.name() == QLatin1String("g") && cls.startsWith("bar ")) {
                marks.push_back(cls.mid(4).toStdString());
            }
        }
        EXPECT_FALSE(xml.hasError()) << c.file << ": " << xml.errorString().toStdString();
        EXPECT_EQ(marks, c.marks) << c.file;
        EXPECT_TRUE(title.endsWith(": " + QString::number(c.rows) + " rows"))
            << title.toStdString();
    }

    // The page names every series as traders do, draws it from its own
    // bars and links the chart file; a '%' of a file name stays an escape
    // inside the address. Nothing comes from outside the page.
    const std::string page = ReadFile(charts / "index.html");
    for (const char* part :
         {"<a href=\"#chart-1\">S&amp;P&lt;</a>", "<a href=\"S%2526P%253C_-5.svg\">",
          "<a href=\"T_-0.0.svg\">", "<td>7</td><td>5</td><td>2</td>",
          "S&amp;P&lt; &#x2013; 5-minute", "T &#x2013; ticks", "<canvas",
          "<script type=\"application/json\">{\"p\":300,",
          "<script type=\"application/json\">{\"p\":0,", "5-minute bars (interval -5)"}) {
        EXPECT_NE(page.find(part), std::string::npos) << part;
    }
    for (const char* outside : {"src=", "href=\"http", "url(", "@import"}) {
        EXPECT_EQ(page.find(outside), std::string::npos) << outside;
    }
}

// The chart page as a person sees it: rendered by a headless browser into a
// PNG that stays in the build folder for a look.
TEST_F(NstHostTest, ChartPageRendersInABrowser) {
    const std::string kTicks = "Date/Time,TickPrice,TickVol";
    std::string browser;
    for (const char* name : {"chromium", "chromium-headless-shell"}) {
        std::stringstream path(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "");
        for (std::string dir; browser.empty() && std::getline(path, dir, ':');) {
            const fs::path candidate = fs::path(dir) / name;
            if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) {
                browser = candidate.string();
            }
        }
    }
    if (browser.empty()) {
        GTEST_SKIP() << "no chromium on PATH; scripts/bootstrap.sh --browser installs it";
    }
    const fs::path charts = m_dir / "charts";
    const Outcome run = Run(
        {"--chart-dir", charts.string(), "-c", "credentials u p", "-c",
         "request W 5 2011-08-01T09:30:00 \"rows=120 wave post=3\" \"\" Date/Time,Close,Volume",
         "-c", "request T 0 2011-08-01T09:30:00 \"rows=60 wave\" \"\" Date/Time,TickPrice,TickVol",
         // Live ticks, a pause, a burst lagging as a gap fill's does, live
         // ticks again.
         "-c", "request G 0 2011-08-01T09:30:00 \"rows=20 wave post=30 lag=0\" \"\" " + kTicks,
         "-c", "pump 3", "-c",
         "request G 0 2011-08-01 \"rows=0 wave post=12 lag=2.6\" \"\" " + kTicks, "-c",
         "request G 0 2011-08-01 \"rows=0 wave post=30 lag=0\" \"\" " + kTicks, "-c", "pump 0.2",
         FAKE_PLUGIN_PATH});
    ASSERT_EQ(run.status, 0) << run.err;
    // The third chart names its stretch; the whole series draws it too.
    const std::string page = ReadFile(charts / "index.html");
    for (const char* part :
         {"G &#x2013; ticks", "72 streamed, 12 gap filled)",
          "<g class=\"fill-band\"><title>gap filled: 12 rows from ", ">gap filled</text>"}) {
        EXPECT_NE(page.find(part), std::string::npos) << part;
    }

    constexpr int kWidth = 1280;
    constexpr int kHeight = 2400;
    // The default view, zoomed out, and zoomed in with the crosshair on a bar.
    struct View {
        const char* suffix;
        const char* address;
    } views[] = {{"", ""}, {"-zoom", "#live-1&zoom=3"}, {"-hover", "#live-1&zoom=2&hover=500,150"}};
    const std::map<std::string, QRgb> colours = {
        {"table heading", qRgb(0xdd, 0xe6, 0xf0)},  {"rising candle", qRgb(0x1a, 0x98, 0x50)},
        {"falling candle", qRgb(0xd7, 0x30, 0x27)}, {"trade dot", qRgb(0x1f, 0x5f, 0xa8)},
        {"streamed band", qRgb(0xff, 0xf1, 0xcc)},  {"gap-filled band", qRgb(0xdc, 0xeb, 0xff)},
    };
    std::vector<QImage> images;
    std::vector<std::map<std::string, int>> counts;
    for (const View& view : views) {
        const std::string png =
            std::string(CHART_PAGE_PNG).insert(std::string(CHART_PAGE_PNG).size() - 4, view.suffix);
        fs::remove(png);
        const Outcome shot = RunProgram(
            {browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--hide-scrollbars",
             "--user-data-dir=" + (m_dir / "profile").string(),
             "--window-size=" + std::to_string(kWidth) + "," + std::to_string(kHeight),
             "--screenshot=" + png, "file://" + (charts / "index.html").string() + view.address},
            {"HOME=" + m_dir.string()});
        ASSERT_EQ(shot.status, 0) << shot.err;
        std::printf("chart page rendered into %s\n", png.c_str());
        ASSERT_TRUE(fs::exists(png)) << shot.err;
        EXPECT_GT(fs::file_size(png), 40000u) << "an empty page compresses to a few kilobytes";
        images.emplace_back(QString::fromStdString(png));
        const QImage& image = images.back();
        ASSERT_EQ(image.width(), kWidth);
        ASSERT_EQ(image.height(), kHeight);
        // Colours only the page's table and the charts' marks have: an empty
        // page, or one whose script failed, has none of them.
        std::map<std::string, int> found;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y) & 0xffffff;
                for (const auto& [what, colour] : colours) {
                    found[what] += pixel == (colour & 0xffffff);
                }
            }
        }
        for (const auto& [what, colour] : colours) {
            EXPECT_GT(found[what], 50) << what << view.suffix;
        }
        counts.push_back(found);
        EXPECT_EQ(image.pixel(2, 2) & 0xffffff, 0xf4f4f4u) << "the page's background";
    }
    // Zooming changes the picture; the crosshair adds its blue time and price
    // boxes.
    EXPECT_TRUE(images[0] != images[1]);
    EXPECT_GT(counts[2]["trade dot"], counts[0]["trade dot"] + 500);
}

}  // namespace
