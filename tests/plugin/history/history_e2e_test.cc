// Whole history loads through the stand-in host and the stand-in feed client:
// nst-host loads the plug-in and requests a series; orvella-feed-sim answers
// on its lookup port. Checks the request the feed client received, the rows
// and progress the host recorded and the failures the user sees.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "settings/registry_access.h"

extern char** environ;

namespace orvella {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kStartupKey[] = L"Software\\Corvan\\Orvella\\Startup\\";
constexpr wchar_t kPluginKey[] = L"Software\\Corvan\\Orvella\\OrvellaForNST\\";
constexpr char kLoadAborted[] =
    "Aborting the loading of historical data because of an error! Please reload this chart!";
constexpr char kNotSent[] =
    "Aborting because we were unable to make a history request. Please reload this chart!";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> ReadLines(const fs::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The raw text of a field of one record line ("interval":-5 gives "-5").
std::string Field(const std::string& line, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    const size_t at = line.find(key);
    if (at == std::string::npos) {
        return std::string();
    }
    size_t from = at + key.size();
    size_t to = from;
    if (line[from] == '"') {
        to = line.find('"', from + 1);
        return line.substr(from + 1, to - from - 1);
    }
    while (to < line.size() && line[to] != ',' && line[to] != '}') {
        ++to;
    }
    return line.substr(from, to - from);
}

bool IsCall(const std::string& line, const std::string& call) {
    return line.rfind("{\"call\":\"" + call + "\"", 0) == 0;
}

pid_t Spawn(const std::vector<std::string>& args, const fs::path& output) {
    std::vector<char*> argv;
    std::vector<std::string> copy = args;
    for (std::string& arg : copy) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits up to limitSeconds; kills the process after that. The exit code, or
// -1 when it had to be killed.
int WaitForExit(pid_t pid, int limitSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// "YYYY-MM-DD" of the local date days ago.
std::string LocalDateDaysAgo(int days) {
    const std::time_t then = std::time(nullptr) - static_cast<std::time_t>(days) * 86400;
    std::tm parts{};
    localtime_r(&then, &parts);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
    return text;
}

// "YYYY-MM-DD 12:00:00" of the latest weekday up to today, so that the feed
// client's trades of that day lie in the regular session.
std::string LastWeekdayNoon() {
    std::time_t then = std::time(nullptr);
    std::tm parts{};
    for (localtime_r(&then, &parts); parts.tm_wday == 0 || parts.tm_wday == 6;
         localtime_r(&then, &parts)) {
        then -= 86400;
    }
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d 12:00:00", &parts);
    return text;
}

struct CLoad {
    std::vector<std::string> record;
    // Record lines before the RequestTicker line.
    std::vector<std::string> history;
    std::string requestTicker;
    int hostExit = -1;
};

class HistoryEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = info->name();
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        m_root = fs::temp_directory_path() /
                 ("orvella-history-e2e-" + std::to_string(getpid()) + "-" + name);
        fs::remove_all(m_root);
        fs::create_directories(m_root);
        setenv("ORVELLA_REGISTRY", (m_root / "registry.db").c_str(), 1);
        setenv("HOME", m_root.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", m_root.c_str(), 1);
        unsetenv("ORVELLA_FEED_SIM_ARGS");
        const std::string path = fs::path(NST_HOST_PATH).parent_path().string() + ":" +
                                 (getenv("PATH") != nullptr ? getenv("PATH") : "/usr/bin:/bin");
        setenv("PATH", path.c_str(), 1);
        WriteRegDword(1, std::wstring(kPluginKey) + L"Logging");
        WriteRegString(std::wstring(kPluginKey) + L"NovaScopeRoot", m_root.wstring());
    }

    void TearDown() override {
        if (m_sim > 0) {
            kill(m_sim, SIGTERM);
            WaitForExit(m_sim, 10);
        }
        // A feed client the launcher started itself (when ours was not found
        // running) must not outlive the test.
        const std::string launched = ReadFile(PidFile());
        if (!launched.empty() && std::stoi(launched) != m_sim) {
            kill(std::stoi(launched), SIGTERM);
        }
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    // Starts the feed client stand-in on free ports (the admin port on the
    // fixed one when streaming, which the launcher's running check and the
    // plug-in's login use) and points the plug-in at it.
    void StartFeed(const std::vector<std::string>& extra, bool streaming) {
        std::vector<std::string> args{ORVELLA_FEED_SIM_PATH,
                                      "--lookup-port",
                                      "0",
                                      "--level1-port",
                                      "0",
                                      "--admin-port",
                                      streaming ? "9300" : "0",
                                      "--login-delay",
                                      "0",
                                      "--ready-file",
                                      (m_root / "ready").string(),
                                      "--log",
                                      (m_root / "sim.log").string(),
                                      "--pid-file",
                                      PidFile().string()};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back("--now");
        args.push_back(LastWeekdayNoon());
        // The fixed admin port may be held for a while by another run; the
        // feed client then exits at once and is started again.
        for (int attempt = 0; attempt < 60 && !fs::exists(m_root / "ready"); ++attempt) {
            m_sim = Spawn(args, m_root / "sim.out");
            int status = 0;
            for (int i = 0; i < 500 && !fs::exists(m_root / "ready"); ++i) {
                if (waitpid(m_sim, &status, WNOHANG) == m_sim) {
                    m_sim = -1;
                    std::this_thread::sleep_for(std::chrono::milliseconds(500));
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        ASSERT_TRUE(fs::exists(m_root / "ready"));
        for (const std::string& line : ReadLines(m_root / "ready")) {
            const std::string value = line.substr(line.find('=') + 1);
            if (line.rfind("lookup=", 0) == 0) {
                WriteRegString(std::wstring(kStartupKey) + L"LookupPort",
                               std::wstring(value.begin(), value.end()));
            } else if (line.rfind("level1=", 0) == 0) {
                WriteRegString(std::wstring(kStartupKey) + L"Level1Port",
                               std::wstring(value.begin(), value.end()));
            }
        }
        WriteRegDword(streaming ? 1 : 0, std::wstring(kPluginKey) + L"Streaming");
    }

    CLoad RunHost(const std::vector<std::string>& commands) {
        std::vector<std::string> args{NST_HOST_PATH, "--quiet", "--count-only", "--record",
                                      (m_root / "record.jsonl").string()};
        for (const std::string& command : commands) {
            args.push_back("-c");
            args.push_back(command);
        }
        args.push_back(ORVELLA_PLUGIN_PATH);
        CLoad load;
        load.hostExit = WaitForExit(Spawn(args, m_root / "host.out"), 90);
        load.record = ReadLines(m_root / "record.jsonl");
        for (const std::string& line : load.record) {
            if (IsCall(line, "RequestTicker")) {
                load.requestTicker = line;
                break;
            }
            load.history.push_back(line);
        }
        return load;
    }

    // The lookup requests the feed client logged, as sent.
    std::vector<std::string> LookupRequests() {
        std::vector<std::string> requests;
        const std::string marker = "lookup request on connection ";
        for (const std::string& line : ReadLines(m_root / "sim.log")) {
            const size_t at = line.find(marker);
            if (at != std::string::npos) {
                requests.push_back(line.substr(line.find(": ", at) + 2));
            }
        }
        return requests;
    }

    std::string PluginLog() {
        std::string text;
        for (const auto& entry : fs::directory_iterator(m_root)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("OrvellaForNST", 0) == 0 && entry.path().extension() == ".log") {
                text += ReadFile(entry.path());
            }
        }
        return text;
    }

    // Where the launcher looks for a running feed client.
    fs::path PidFile() const {
        return m_root / ("orvella-feed-sim-" + std::to_string(getuid()) + ".pid");
    }

    fs::path m_root;
    pid_t m_sim = -1;
};

// Progress as the host saw it during the load: rising, below 100, then
// exactly one 100 as the last report.
void ExpectProgress(const CLoad& load) {
    std::vector<int> percents;
    for (const std::string& line : load.history) {
        if (IsCall(line, "UpdatePercent")) {
            percents.push_back(std::stoi(Field(line, "percent")));
        }
    }
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100);
    for (size_t i = 0; i + 1 < percents.size(); ++i) {
        EXPECT_GE(percents[i], 0);
        EXPECT_LT(percents[i], 100);
        if (i > 0) {
            EXPECT_GE(percents[i], percents[i - 1]);
        }
    }
}

struct Case {
    const char* name;
    const char* interval;
    const char* type;
    bool streaming;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class HistoryEndToEndTypes : public HistoryEndToEnd, public ::testing::WithParamInterface<Case> {};

TEST_P(HistoryEndToEndTypes, RequestRowsAndProgress) {
    const Case& c = GetParam();
    StartFeed({"--history-lines", "300"}, c.streaming);
    const std::string start = LocalDateDaysAgo(10);
    std::vector<std::string> commands;
    if (c.streaming) {
        commands.push_back("credentials user secret");
    }
    commands.push_back("request ABC " + std::string(c.interval) + " " + start + "T09:30:00");
    const CLoad load = RunHost(commands);
    EXPECT_EQ(load.hostExit, 0);
    ASSERT_FALSE(load.requestTicker.empty());
    EXPECT_EQ(Field(load.requestTicker, "result"), "1");

    // The request text, byte for byte (the filter texts are the settings'
    // defaults once the credentials were applied, empty before).
    const std::string compact = start.substr(0, 4) + start.substr(5, 2) + start.substr(8, 2);
    const std::string filters = c.streaming ? "000000,235959" : ",";
    std::string expected;
    if (std::string(c.type) == "HTT") {
        expected = "HTT,ABC," + compact + " 093000,,," + filters + ",1";
    } else if (std::string(c.type) == "HIT") {
        expected = "HIT,ABC,300," + compact + " 093000,,," + filters + ",1";
    } else {
        expected = std::string(c.type) + ",ABC,,1";
    }
    EXPECT_EQ(LookupRequests(), std::vector<std::string>{expected});

    // Rows under the series key, with the columns of the layout.
    const bool ticks = std::string(c.type) == "HTT";
    const std::string interval = c.interval;
    const std::string key = ticks ? "-0.0" : (c.streaming ? "-" + interval : interval);
    std::set<int> columns;
    int rows = 0;
    for (const std::string& line : load.history) {
        if (IsCall(line, "NSTSETVALUE")) {
            EXPECT_EQ(Field(line, "interval"), key) << line;
            columns.insert(std::stoi(Field(line, "column")));
        } else if (IsCall(line, "NSTCOMMITROW")) {
            EXPECT_EQ(Field(line, "interval"), key) << line;
            ++rows;
        }
    }
    const std::set<int> expectedColumns = ticks         ? std::set<int>{1, 2, 3, 4}
                                          : c.streaming ? std::set<int>{1, 2, 3}
                                                        : std::set<int>{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(columns, expectedColumns);
    if (ticks) {
        EXPECT_GE(rows, 300);  // every trade, plus quote rows
    } else {
        EXPECT_EQ(rows, c.streaming ? 4 * 300 : 300);
    }
    ExpectProgress(load);
    EXPECT_EQ(PluginLog().find("Aborting"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, HistoryEndToEndTypes,
    ::testing::Values(
        Case{"ticks", "0", "HTT", false}, Case{"ticks_streaming", "0", "HTT", true},
        Case{"minutes", "5", "HIT", false}, Case{"minutes_streaming", "5", "HIT", true},
        Case{"days", "1440", "HDX", false}, Case{"days_streaming", "1440", "HDX", true},
        Case{"weeks", "10080", "HWX", false}, Case{"weeks_streaming", "10080", "HWX", true},
        Case{"months", "43200", "HMX", false}, Case{"months_streaming", "43200", "HMX", true}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

struct FaultCase {
    const char* name;
    std::vector<std::string> feedOptions;
    const char* box;
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

class HistoryEndToEndFaults : public HistoryEndToEnd,
                              public ::testing::WithParamInterface<FaultCase> {};

TEST_P(HistoryEndToEndFaults, EndTheLoadWithABox) {
    const FaultCase& c = GetParam();
    StartFeed(c.feedOptions, false);
    const CLoad load = RunHost({"request ABC 1440 " + LocalDateDaysAgo(10)});
    EXPECT_EQ(load.hostExit, 0);
    ASSERT_FALSE(load.requestTicker.empty());
    EXPECT_EQ(Field(load.requestTicker, "result"), "1");
    int boxes = 0;
    for (const std::string& line : load.history) {
        if (IsCall(line, "MessageBox")) {
            ++boxes;
            EXPECT_EQ(Field(line, "text"), c.box);
            EXPECT_EQ(Field(line, "caption"), "OrvellaForNST");
        }
    }
    EXPECT_EQ(boxes, 1);
    ExpectProgress(load);
    EXPECT_NE(PluginLog().find(c.box), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, HistoryEndToEndFaults,
    ::testing::Values(
        FaultCase{"closed_mid_reply", {"--fault-lookup-close-after", "40"}, kLoadAborted},
        FaultCase{"no_end_line", {"--fault-no-end-line"}, kLoadAborted},
        FaultCase{"refused", {"--no-listen", "lookup"}, kNotSent}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvella
