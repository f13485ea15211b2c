#include "tests/e2e/e2e_support.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "settings/registry_access.h"

namespace orvella::e2e {

namespace fs = std::filesystem;

namespace {

constexpr const char* kVariables[] = {
    "ORVELLA_REGISTRY", "HOME", "XDG_CONFIG_HOME",      "XDG_DOCUMENTS_DIR",
    "XDG_RUNTIME_DIR",  "PATH", "ORVELLA_FEED_SIM_ARGS"};

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

pid_t Spawn(const std::vector<std::string>& argv, const std::string& outputPath) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        const int in = open("/dev/null", O_RDONLY);
        dup2(in, STDIN_FILENO);
        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

std::map<std::string, std::string> ReadKeyValues(const std::string& path) {
    std::map<std::string, std::string> values;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos) {
            values[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return values;
}

std::string RecordPath(const CPrivateEnvironment& env) {
    return env.Dir() + "/record.jsonl";
}

}  // namespace

CPrivateEnvironment::CPrivateEnvironment() {
    char pattern[] = "/tmp/orvella-e2e-XXXXXX";
    m_dir = mkdtemp(pattern);
    for (const char* folder : {"/home", "/config", "/documents", "/runtime", "/root", "/bin"}) {
        fs::create_directories(m_dir + folder);
    }
    for (const char* name : kVariables) {
        const char* value = std::getenv(name);
        m_saved[name] = value != nullptr ? value : "";
    }
    setenv("ORVELLA_REGISTRY", (m_dir + "/registry.db").c_str(), 1);
    setenv("HOME", (m_dir + "/home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (m_dir + "/documents").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (m_dir + "/runtime").c_str(), 1);
    setenv("PATH", (m_dir + "/bin:" + m_saved["PATH"]).c_str(), 1);

    // The launcher's only job here: show what it was given.
    const std::string launcher = m_dir + "/bin/Orvalink.exe";
    std::ofstream script(launcher);
    script << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << m_dir
           << "/launcher-args'\nexit 0\n";
    script.close();
    chmod(launcher.c_str(), 0700);
}

CPrivateEnvironment::~CPrivateEnvironment() {
    if (const pid_t feed = LaunchedFeedPid(0); feed > 0) {
        kill(feed, SIGTERM);
    }
    for (const auto& [name, value] : m_saved) {
        setenv(name.c_str(), value.c_str(), 1);
    }
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
}

std::vector<std::string> CPrivateEnvironment::LauncherArguments() const {
    std::vector<std::string> args;
    std::ifstream file(m_dir + "/launcher-args");
    for (std::string line; std::getline(file, line);) {
        args.push_back(line);
    }
    return args;
}

void CPrivateEnvironment::WriteSettings(bool streaming, bool extendedTrades, bool logging) {
    const std::string key = "Software\\Corvan\\Orvella\\OrvellaForNST\\";
    WriteRegDword(streaming ? 1 : 0, key + "Streaming");
    WriteRegDword(extendedTrades ? 1 : 0, key + "ExtendedTrade");
    WriteRegDword(logging ? 1 : 0, key + "Logging");
    WriteRegString(key + "NovaScopeRoot", HostRoot());
}

void CPrivateEnvironment::WritePorts(int lookupPort, int level1Port) {
    const std::string key = "Software\\Corvan\\Orvella\\Startup\\";
    WriteRegString(key + "LookupPort", std::to_string(lookupPort));
    WriteRegString(key + "Level1Port", std::to_string(level1Port));
}

std::vector<std::string> CPrivateEnvironment::Files() const {
    std::vector<std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(m_dir)) {
        if (!entry.is_directory()) {
            files.push_back(fs::relative(entry.path(), m_dir).string());
        }
    }
    return files;
}

void CPrivateEnvironment::UseFeedLauncher(const std::string& simArgs) {
    const std::string launcher = m_dir + "/bin/Orvalink.exe";
    fs::remove(launcher);
    fs::create_symlink(ORVALINK_PATH, launcher);
    setenv("ORVELLA_FEED_SIM_ARGS", simArgs.c_str(), 1);
}

pid_t CPrivateEnvironment::LaunchedFeedPid(int waitMs) const {
    const std::string path =
        m_dir + "/runtime/orvella-feed-sim-" + std::to_string(getuid()) + ".pid";
    for (int waited = 0; access(path.c_str(), F_OK) != 0 && waited < waitMs; waited += 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::ifstream file(path);
    pid_t pid = -1;
    return file >> pid ? pid : -1;
}

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    int port = -1;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
        port = ntohs(addr.sin_port);
    }
    close(fd);
    return port;
}

bool CFeedSim::Start(const std::string& dir, int adminPort,
                     const std::vector<std::string>& options) {
    const std::string ready = dir + "/sim-ready";
    std::vector<std::string> argv = {ORVELLA_FEED_SIM_PATH,
                                     "--lookup-port",
                                     "0",
                                     "--level1-port",
                                     "0",
                                     "--ready-file",
                                     ready,
                                     "--log",
                                     dir + "/sim.log",
                                     "--login-delay",
                                     "0"};
    if (adminPort < 0) {
        argv.insert(argv.end(), {"--no-listen", "admin"});
    } else {
        argv.insert(argv.end(), {"--admin-port", std::to_string(adminPort)});
    }
    argv.insert(argv.end(), options.begin(), options.end());
    m_pid = Spawn(argv, dir + "/sim.out");
    for (int i = 0; i < 1000 && access(ready.c_str(), F_OK) != 0; ++i) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    auto values = ReadKeyValues(ready);
    if (values.empty()) {
        Stop();
        return false;
    }
    lookup = std::atoi(values["lookup"].c_str());
    level1 = std::atoi(values["level1"].c_str());
    admin = std::atoi(values["admin"].c_str());
    return true;
}

void CFeedSim::Stop() {
    if (m_pid <= 0) {
        return;
    }
    kill(m_pid, SIGTERM);
    if (WaitHost(m_pid, 5000) == -1) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    m_pid = -1;
}

std::string CCall::Field(const std::string& name) const {
    const std::string key = "\"" + name + "\":";
    const size_t found = line.find(key);
    if (found == std::string::npos) {
        return {};
    }
    size_t i = found + key.size();
    std::string value;
    if (i < line.size() && line[i] == '"') {
        for (++i; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                ++i;
            }
            value += line[i];
        }
        return value;
    }
    while (i < line.size() && line[i] != ',' && line[i] != '}') {
        value += line[i++];
    }
    return value;
}

double CCall::Number(const std::string& name) const {
    const std::string text = Field(name);
    if (text == "NaN") {
        return std::nan("");
    }
    return std::strtod(text.c_str(), nullptr);
}

pid_t StartHost(const CPrivateEnvironment& env, const std::vector<std::string>& commands,
                const std::vector<std::string>& hostOptions) {
    const std::string script = env.Dir() + "/commands.txt";
    std::ofstream out(script);
    for (const std::string& command : commands) {
        out << command << "\n";
    }
    out.close();
    std::vector<std::string> argv = {NST_HOST_PATH,   "-q",       "--record",
                                     RecordPath(env), "--script", script};
    argv.insert(argv.end(), hostOptions.begin(), hostOptions.end());
    argv.push_back(SHIPPED_PLUGIN_PATH);
    return Spawn(argv, env.Dir() + "/host.out");
}

int WaitHost(pid_t pid, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (done < 0 || std::chrono::steady_clock::now() > deadline) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

CHostRun ReadHostRun(const CPrivateEnvironment& env, int status) {
    CHostRun run;
    run.status = status;
    std::ifstream record(RecordPath(env));
    CRow open;
    int column = 0;
    for (std::string line; std::getline(record, line);) {
        CCall call;
        call.line = line;
        call.call = call.Field("call");
        if (call.call == "NSTSETVALUE") {
            if (column == 0) {
                open = CRow{call.Field("symbol"), call.Field("interval"), {}};
            }
            const int c = std::atoi(call.Field("column").c_str());
            if (c != column + 1 || open.symbol != call.Field("symbol") ||
                open.interval != call.Field("interval")) {
                run.rowsWellFormed = false;
            }
            column = c;
            open.values.push_back(call.Number("value"));
        } else if (call.call == "NSTCOMMITROW") {
            open.requestsBefore = static_cast<int>(run.requestResults.size());
            run.rows.push_back(open);
            open = CRow{};
            column = 0;
        } else if (call.call == "UpdatePercent") {
            run.percents.push_back(std::atoi(call.Field("percent").c_str()));
        } else if (call.call == "MessageBox") {
            run.boxes.push_back(call.Field("text"));
        } else if (call.call == "RequestTicker") {
            run.requestResults.push_back(std::atoi(call.Field("result").c_str()));
        } else if (call.call == "UserIDPasswordChanged") {
            run.credentialResults.push_back(std::atoi(call.Field("result").c_str()));
        }
        run.calls.push_back(std::move(call));
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(env.HostRoot())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("OrvellaForNST", 0) == 0 && entry.path().extension() == ".log") {
            run.log += ReadWholeFile(entry.path().string());
        }
    }
    return run;
}

CHostRun RunHost(const CPrivateEnvironment& env, const std::vector<std::string>& commands,
                 int timeoutSeconds, const std::vector<std::string>& hostOptions) {
    const pid_t pid = StartHost(env, commands, hostOptions);
    return ReadHostRun(env, WaitHost(pid, timeoutSeconds * 1000));
}

bool ProcessEnded(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const size_t paren = text.rfind(')');
    return paren == std::string::npos || paren + 2 >= text.size() || text[paren + 2] == 'Z';
}

namespace {

long StatusKb(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) {
            return std::atol(line.c_str() + field.size());
        }
    }
    return -1;
}

}  // namespace

long ResidentKb(pid_t pid) {
    return StatusKb(pid, "VmRSS:");
}

long PeakResidentKb(pid_t pid) {
    return StatusKb(pid, "VmHWM:");
}

int OpenDescriptors(pid_t pid) {
    DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    closedir(dir);
    return count;
}

bool IsSubsequence(const std::vector<CRow>& a, const std::vector<CRow>& b) {
    size_t j = 0;
    for (const CRow& row : a) {
        while (j < b.size() && !(b[j].symbol == row.symbol && b[j].interval == row.interval &&
                                 b[j].values == row.values)) {
            ++j;
        }
        if (j == b.size()) {
            return false;
        }
        ++j;
    }
    return true;
}

}  // namespace orvella::e2e
