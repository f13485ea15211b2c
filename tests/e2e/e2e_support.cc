#include "tests/e2e/e2e_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
    "XDG_RUNTIME_DIR",  "PATH", "ORVELLA_LAUNCH_RECORD"};

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

std::string WindowsBin() {
    const char* bin = std::getenv("ORVELLA_E2E_WINDOWS_BIN");
    return bin != nullptr ? bin : "";
}

// The command that starts a Windows program: the emulator, then the program.
std::vector<std::string> WindowsCommand(const std::string& program) {
    const char* emulator = std::getenv("ORVELLA_E2E_EMULATOR");
    return {emulator != nullptr ? emulator : "wine", program};
}

// Registry file text: quotes and backslashes escaped.
std::string RegText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
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

    // The launcher's only job here: show what it was given. The Windows one
    // beside nst-host.exe writes where this variable says.
    setenv("ORVELLA_LAUNCH_RECORD", HostPath(m_dir + "/launcher-args").c_str(), 1);
    const std::string launcher = m_dir + "/bin/Orvalink.exe";
    std::ofstream script(launcher);
    script << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << m_dir
           << "/launcher-args'\nexit 0\n";
    script.close();
    chmod(launcher.c_str(), 0700);
}

CPrivateEnvironment::~CPrivateEnvironment() {
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
    const std::string windowsKey = "Software\\Corvan\\Orvella\\OrvellaForNST";
    WriteWindowsValue(windowsKey, "Streaming", streaming ? "dword:00000001" : "dword:00000000");
    WriteWindowsValue(windowsKey, "ExtendedTrade",
                      extendedTrades ? "dword:00000001" : "dword:00000000");
    WriteWindowsValue(windowsKey, "Logging", logging ? "dword:00000001" : "dword:00000000");
    WriteWindowsValue(windowsKey, "NovaScopeRoot", RegText(HostPath(HostRoot())));
}

void CPrivateEnvironment::WritePorts(int lookupPort, int level1Port) {
    const std::string key = "Software\\Corvan\\Orvella\\Startup\\";
    WriteRegString(key + "LookupPort", std::to_string(lookupPort));
    WriteRegString(key + "Level1Port", std::to_string(level1Port));
    const std::string windowsKey = "Software\\Corvan\\Orvella\\Startup";
    WriteWindowsValue(windowsKey, "LookupPort", RegText(std::to_string(lookupPort)));
    WriteWindowsValue(windowsKey, "Level1Port", RegText(std::to_string(level1Port)));
}

void CPrivateEnvironment::WriteWindowsValue(const std::string& key, const std::string& name,
                                            const std::string& data) {
    if (!WindowsHost()) {
        return;
    }
    m_windowsSettings[key][name] = data;
    // The whole key is replaced, so nothing of an earlier test remains.
    std::ofstream file(WindowsSettingsFile(), std::ios::binary);
    file << "REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Corvan]\r\n";
    for (const auto& [path, values] : m_windowsSettings) {
        file << "\r\n[HKEY_CURRENT_USER\\" << path << "]\r\n";
        for (const auto& [valueName, valueData] : values) {
            file << RegText(valueName) << "=" << valueData << "\r\n";
        }
    }
}

std::string CPrivateEnvironment::WindowsSettingsFile() const {
    return WindowsHost() ? m_dir + "/settings.reg" : std::string();
}

bool WindowsHost() {
    return !WindowsBin().empty();
}

std::string HostPath(const std::string& path) {
    if (!WindowsHost() || path.empty() || path[0] != '/') {
        return path;
    }
    std::string windows = "Z:" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
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
    std::vector<std::string> argv = {NST_HOST_PATH};
    std::string plugin = SHIPPED_PLUGIN_PATH;
    if (WindowsHost()) {
        // The Windows registry of the emulator's prefix takes the settings
        // first; the record and script paths are the host's.
        if (fs::exists(env.WindowsSettingsFile())) {
            std::vector<std::string> regedit = WindowsCommand("regedit.exe");
            regedit.insert(regedit.end(), {"/S", HostPath(env.WindowsSettingsFile())});
            WaitHost(Spawn(regedit, env.Dir() + "/regedit.out"), 60000);
        }
        argv = WindowsCommand(WindowsBin() + "/nst-host.exe");
        plugin = HostPath(WindowsBin() + "/OrvellaForNST.dll");
    }
    argv.insert(argv.end(),
                {"-q", "--record", HostPath(RecordPath(env)), "--script", HostPath(script)});
    argv.insert(argv.end(), hostOptions.begin(), hostOptions.end());
    argv.push_back(plugin);
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

long ResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
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
