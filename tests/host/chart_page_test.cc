// The chart folder as a hostile local user and odd symbols meet it: planted
// links, folders open to others, names too long or hidden.
#include "host/chart_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/svg_chart.h"
#include "tests/host/chart_rows.h"

namespace nsthost {
namespace {

namespace fs = std::filesystem;

// The steady clock of the store while a test sets it, in seconds.
double g_clock = 0.0;
double TestClock() {
    return g_clock;
}

class ChartPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FeedStore().Clear();
        FeedStore().SetKeepRows(true);
        m_root = fs::temp_directory_path() /
                 ("chart-page-test-" +
                  std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_root);
        fs::create_directories(m_root);
        fs::permissions(m_root, fs::perms::owner_all);
        m_dir = m_root / "charts";
    }
    void TearDown() override {
        FeedStore().SetClock(nullptr);
        FeedStore().Clear();
        fs::remove_all(m_root);
    }

    static void AddSeries(const std::string& symbol, float interval) {
        FeedStore().SetupData(symbol.c_str(), "", interval, 3, "", 40000.0);
        FeedStore().SetLabel(symbol.c_str(), interval, 1, "Date/Time");
        FeedStore().SetLabel(symbol.c_str(), interval, 2, "Close");
        FeedStore().SetValue(symbol.c_str(), interval, 1, 40000.5);
        FeedStore().SetValue(symbol.c_str(), interval, 2, 10.0);
        FeedStore().CommitRow(symbol.c_str(), interval);
    }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    bool Write(std::string* error) { return WriteCharts(FeedStore(), m_dir.string(), error); }

    fs::path m_root;
    fs::path m_dir;
};

// A link planted under a chart's or the page's name is replaced by the new
// file; what it pointed at stays untouched.
TEST_F(ChartPageTest, PlantedLinksAreReplacedNotFollowed) {
    AddSeries("ABC", -5.0f);
    fs::create_directories(m_dir);
    fs::permissions(m_dir, fs::perms::owner_all);
    const fs::path victim = m_root / "victim.txt";
    std::ofstream(victim) << "precious";
    for (const char* name : {"index.html", "ABC_-5.svg"}) {
        fs::create_symlink(victim, m_dir / name);
    }
    fs::create_symlink(m_root / "absent.txt", m_dir / "DEF_-5.svg");
    AddSeries("DEF", -5.0f);

    std::string error;
    ASSERT_TRUE(Write(&error)) << error;
    EXPECT_EQ(Read(victim), "precious");
    EXPECT_FALSE(fs::exists(m_root / "absent.txt"));
    for (const char* name : {"index.html", "ABC_-5.svg", "DEF_-5.svg"}) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(m_dir / name))) << name;
    }
    EXPECT_NE(Read(m_dir / "index.html").find("<html"), std::string::npos);
    size_t files = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(m_dir)) {
        EXPECT_EQ(entry.path().extension() == ".tmp", false) << entry.path();
        ++files;
    }
    EXPECT_EQ(files, 3u);
}

// A folder others may write to is refused before anything is written,
// unless it is sticky and ours; a folder the writer creates is private.
TEST_F(ChartPageTest, FoldersOpenToOthersAreRefused) {
    struct Case {
        fs::perms mode;
        bool accepted;
    } cases[] = {
        {fs::perms::owner_all, true},
        {fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
             fs::perms::others_read | fs::perms::others_exec,
         true},
        {fs::perms::owner_all | fs::perms::group_all, false},
        {fs::perms::owner_all | fs::perms::others_write | fs::perms::others_exec, false},
        {fs::perms::all, false},
        {fs::perms::all | fs::perms::sticky_bit, true},
    };
    AddSeries("ABC", -5.0f);
    for (const Case& c : cases) {
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        fs::permissions(m_dir, c.mode);
        std::string error;
        EXPECT_EQ(Write(&error), c.accepted) << static_cast<int>(c.mode);
        EXPECT_EQ(fs::exists(m_dir / "index.html"), c.accepted) << static_cast<int>(c.mode);
        if (!c.accepted) {
            EXPECT_NE(error.find("writable by other users"), std::string::npos) << error;
        }
    }

    fs::remove_all(m_dir);
    std::string error;
    EXPECT_TRUE(Write(&error)) << error;
    EXPECT_EQ(fs::status(m_dir).permissions() & (fs::perms::group_write | fs::perms::others_write),
              fs::perms::none);
}

// Every symbol gets a file name that fits, is not hidden, stays in the
// folder and differs from every other series' name; the page links to it.
TEST_F(ChartPageTest, OddSymbolsGetShortVisibleDistinctNames) {
    struct Case {
        std::string symbol;
        const char* name;  // nullptr: shortened, only checked for the rules
    } cases[] = {
        {"ABC", "ABC_-5.svg"},
        {"A.B", "A.B_-5.svg"},
        {".", "%2E_-5.svg"},
        {"..", "%2E._-5.svg"},
        {"../x", "%2E.%2Fx_-5.svg"},
        {".hidden", "%2Ehidden_-5.svg"},
        {std::string(249, 'A'), nullptr},
        {std::string(249, 'A') + "B", nullptr},
        {std::string(300, 'A'), nullptr},
        {std::string(100, '/'), nullptr},
        {std::string(100, '/') + "A", nullptr},
        {std::string(1000, '\xE9'), nullptr},
        {"A" + std::string(300, ' '), nullptr},
        {"AA" + std::string(300, ' '), nullptr},
    };
    std::set<std::string> names;
    for (const Case& c : cases) {
        AddSeries(c.symbol, -5.0f);
        const std::string name = ChartFileName(SeriesKey::Of(c.symbol.c_str(), -5.0f));
        if (c.name != nullptr) {
            EXPECT_EQ(name, c.name);
        } else {
            EXPECT_NE(name.find('~'), std::string::npos) << name;
        }
        EXPECT_LE(name.size(), kMaxChartFileName) << name;
        EXPECT_NE(name.front(), '.') << name;
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
        // An escape is never cut: every '%' has its two digits.
        for (size_t at = name.find('%'); at != std::string::npos; at = name.find('%', at + 1)) {
            ASSERT_LT(at + 2, name.size()) << name;
            EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(name[at + 1])) &&
                        std::isxdigit(static_cast<unsigned char>(name[at + 2])))
                << name;
        }
        EXPECT_TRUE(names.insert(name).second) << "twice: " << name;
    }
    std::string error;
    ASSERT_TRUE(Write(&error)) << error;
    const std::string page = Read(m_dir / "index.html");
    for (const std::string& name : names) {
        EXPECT_TRUE(fs::is_regular_file(m_dir / name)) << name;
        std::string url;
        for (const char ch : name) {
            url += ch == '%' ? std::string("%25") : std::string(1, ch);
        }
        EXPECT_NE(page.find("\"" + url + "\""), std::string::npos) << url;
    }
    size_t files = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(m_dir)) {
        EXPECT_NE(entry.path().filename().string().front(), '.');
        ++files;
    }
    EXPECT_EQ(files, names.size() + 1);
}

// Each series' section is a chart drawn by the page from its own bars: the
// latest of them, named as traders name the series, with the last price and
// its change; the page's script is inline and fetches nothing.
TEST_F(ChartPageTest, SectionsCarryTheirLatestBarsAndTraderNames) {
    struct Case {
        const char* symbol;
        float interval;
        int rows;
        const char* heading;
        size_t bars;  // handed to the page's script
    } cases[] = {
        {"AAA", -5.0f, 100, "AAA &#x2013; 5-minute</h2>", 100},
        {"BBB", -1440.0f, 30, "BBB &#x2013; daily</h2>", 30},
        {"CCC", -0.0f, 40, "CCC &#x2013; ticks</h2>", 40},
        {"DDD", -1.0f, 70000, "DDD &#x2013; 1-minute</h2>", 60000},
    };
    for (const Case& c : cases) {
        FeedStore().SetupData(c.symbol, "", c.interval, 3, "", 40000.0);
        FeedStore().SetLabel(c.symbol, c.interval, 1, "Date/Time");
        FeedStore().SetLabel(c.symbol, c.interval, 2, "Close");
        const double step =
            c.interval == -1440.0f ? 1.0 : 1.0 / 1440.0 * (c.interval == -5.0f ? 5 : 1);
        for (int i = 0; i < c.rows; ++i) {
            FeedStore().SetValue(c.symbol, c.interval, 1, 40000.0 + i * step);
            FeedStore().SetValue(c.symbol, c.interval, 2, 10.0 + (i % 7));
            FeedStore().CommitRow(c.symbol, c.interval);
        }
    }
    std::string error;
    ASSERT_TRUE(Write(&error)) << error;
    const std::string page = Read(m_dir / "index.html");
    size_t at = 0;
    for (const Case& c : cases) {
        at = page.find(c.heading, at);
        ASSERT_NE(at, std::string::npos) << c.heading;
        const size_t kinds = page.find("\"k\":[", at);
        const size_t end = page.find("]", kinds);
        ASSERT_NE(end, std::string::npos);
        const std::string list = page.substr(kinds + 5, end - kinds - 5);
        EXPECT_EQ(static_cast<size_t>(std::count(list.begin(), list.end(), ',')) + 1, c.bars)
            << c.heading;
    }
    EXPECT_NE(page.find("the latest 60000 below"), std::string::npos);
    EXPECT_NE(page.find("from the previous"), std::string::npos);
    EXPECT_EQ(page.find("src="), std::string::npos);
    EXPECT_EQ(page.find("href=\"http"), std::string::npos);
}

// What reaches a series, step by step, on the store's clock: history rows,
// live rows, a pause without rows (the connection lost) and the burst of a
// gap fill with the trades of the pause.
struct FeedStep {
    char what;  // 'H' history, 'L' live, 'P' pause, 'F' fill of the last pause
    int rows;
    double seconds;  // 'L': how long after its own time each row arrives; 'P': the pause
};

// The page marks the stretches of a gap fill from the rows' lag alone: a
// burst lagging far behind the live rows, until the rows catch up. Expected:
// runs of bars, "H" history, "L" live, "F" gap-filled.
TEST_F(ChartPageTest, GapFilledStretchesLieOnTheirOwnBand) {
    struct Case {
        const char* what;
        float interval;
        double spacing;  // seconds between live rows
        std::vector<FeedStep> steps;
        const char* runs;
        const char* title;  // of the first band
    } cases[] = {
        {"a live run, a pause, the fill's burst, live rows again: the burst until it has caught up",
         -0.0f,
         0.1,
         {{'H', 10, 0}, {'L', 20, 0.05}, {'P', 0, 8}, {'F', 16, 0}, {'L', 20, 0.05}},
         "10H 20L 15F 21L",
         "gap filled: 15 rows from 2026-12-09 11:00:02 to 2026-12-09 11:00:09"},
        {"two outages, two bands",
         -0.0f,
         0.1,
         {{'L', 20, 0.05},
          {'P', 0, 5},
          {'F', 10, 0},
          {'L', 20, 0.05},
          {'P', 0, 6},
          {'F', 12, 0},
          {'L', 20, 0.05}},
         "20L 9F 21L 11F 21L",
         "gap filled: 9 rows from 2026-12-09 11:00:02 to 2026-12-09 11:00:06"},
        {"live rows lagging by less than two seconds more than usual are live",
         -0.0f,
         0.1,
         {{'L', 10, 0.05}, {'L', 2, 1.9}, {'L', 10, 0.3}, {'L', 3, 2.0}, {'L', 5, 0.05}},
         "30L",
         nullptr},
        {"the lines held during the history load lag, but come before the live rows",
         -0.0f,
         0.1,
         {{'H', 5, 0}, {'P', 0, 5}, {'F', 10, 0}, {'L', 20, 0.05}},
         "5H 30L",
         nullptr},
        {"the feed's clock a step behind for good (a restart, summer time) is no fill, a later "
         "gap is",
         -0.0f,
         0.1,
         {{'L', 20, 0.05},
          {'P', 0, 3600},
          {'L', 700, 3600.05},
          {'P', 0, 8},
          {'F', 16, 0},
          {'L', 20, 3600.05}},
         "720L 15F 21L",
         "gap filled: 15 rows from 2026-12-09 11:01:12 to 2026-12-09 11:01:19"},
        {"one-minute bars: the bars of the fill",
         -1.0f,
         10.0,
         {{'L', 30, 0.2}, {'P', 0, 120}, {'F', 12, 0}, {'L', 30, 0.2}},
         "5L 2F 5L",
         "gap filled: 12 rows in the bars from 2026-12-09 11:05:00 to 2026-12-09 11:06:00"},
    };
    const double start = static_cast<double>(Seconds("2026-12-09T11:00:00"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FeedStore().Clear();
        FeedStore().SetClock(&TestClock);
        const char* symbol = "GAP";
        FeedStore().SetupData(symbol, "", c.interval, 3, "", 0.0);
        FeedStore().SetLabel(symbol, c.interval, 1, "Date/Time");
        FeedStore().SetLabel(symbol, c.interval, 2, "Close");
        FeedStore().SetLabel(symbol, c.interval, 3, "Volume");
        // The wall clock in seconds from start; the store's clock runs 1000 s
        // ahead of it, as a steady clock has an epoch of its own.
        double now = 0.0;
        double behind = 0.0;  // how far the feed's times lag the wall clock
        double pauseStart = 0.0;
        double pause = 0.0;
        auto commit = [&](double rowSeconds, double arrival, int i) {
            g_clock = 1000.0 + arrival;
            FeedStore().SetValue(symbol, c.interval, 1, (start + rowSeconds) / 86400.0);
            FeedStore().SetValue(symbol, c.interval, 2, 10.0 + (i % 5) * 0.1);
            FeedStore().SetValue(symbol, c.interval, 3, 100.0);
            FeedStore().CommitRow(symbol, c.interval);
        };
        for (const FeedStep& step : c.steps) {
            for (int i = 0; i < step.rows; ++i) {
                if (step.what == 'H') {
                    FeedStore().BeginRequest();
                    commit(now - 3600.0 + i * c.spacing, now, i);
                    FeedStore().EndRequest();
                } else if (step.what == 'L') {
                    behind = step.seconds;
                    commit(now - behind, now, i);
                    now += c.spacing;
                } else {
                    commit(pauseStart - behind + pause * (i + 0.5) / step.rows, now + i * 0.001, i);
                }
            }
            if (step.what == 'P') {
                pauseStart = now;
                pause = step.seconds;
                now += step.seconds;
            }
        }
        std::string error;
        ASSERT_TRUE(Write(&error)) << error;
        const std::string page = Read(m_dir / "index.html");

        const size_t kinds = page.find("\"k\":[");
        ASSERT_NE(kinds, std::string::npos);
        std::string runs;
        std::vector<char> bars;
        std::stringstream list(page.substr(kinds + 5, page.find(']', kinds) - kinds - 5));
        for (std::string kind; std::getline(list, kind, ',');) {
            const int k = std::stoi(kind);
            bars.push_back((k & 2) != 0 ? 'F' : (k & 1) != 0 ? 'L' : 'H');
        }
        for (size_t i = 0; i < bars.size();) {
            size_t end = i;
            while (end < bars.size() && bars[end] == bars[i]) {
                ++end;
            }
            runs += (runs.empty() ? "" : " ") + std::to_string(end - i) + bars[i];
            i = end;
        }
        EXPECT_EQ(runs, c.runs);

        // The whole-series chart: one labelled band per stretch, named with
        // its rows and times, spanning exactly the filled marks.
        std::vector<std::pair<double, double>> bands;
        std::vector<std::string> titles;
        const std::regex band(
            "<title>(gap filled: [^<]*)</title><rect class=\"fill-band\" "
            "x=\"([0-9.]+)\" y=\"[0-9.]+\" width=\"([0-9.]+)\"");
        for (std::sregex_iterator it(page.begin(), page.end(), band), end; it != end; ++it) {
            titles.push_back((*it)[1]);
            bands.emplace_back(std::stod((*it)[2]), std::stod((*it)[2]) + std::stod((*it)[3]));
        }
        EXPECT_EQ(titles.empty() ? "" : titles[0], c.title != nullptr ? c.title : "");
        const size_t stretches = static_cast<size_t>(std::count(runs.begin(), runs.end(), 'F'));
        EXPECT_EQ(bands.size(), stretches);
        EXPECT_EQ(page.find("class=\"filled-label\"") != std::string::npos, stretches > 0);
        if (c.interval != 0.0f) {
            continue;  // bars merge several rows' kinds; a tick is one row
        }
        const std::regex tick(
            "<g class=\"bar tick trade ([a-z ]+)\"><title>[^<]*</title><circle "
            "class=\"trade\" cx=\"([0-9.]+)\"");
        size_t ticks = 0;
        for (std::sregex_iterator it(page.begin(), page.end(), tick), end; it != end; ++it) {
            const double x = std::stod((*it)[2]);
            const bool inBand = std::any_of(bands.begin(), bands.end(), [x](const auto& b) {
                return x > b.first && x < b.second;
            });
            EXPECT_EQ(inBand, (*it)[1].str().find("filled") != std::string::npos)
                << "tick " << ticks << " at " << x;
            ++ticks;
        }
        EXPECT_EQ(ticks, bars.size());
    }
}

}  // namespace
}  // namespace nsthost
