// End to end: nst-host loads the plug-in and requests a tick history of N
// lines (default 1000000) from orvella-feed-sim, counting rows only. Beside
// it, in the same run, a baseline receives the same reply over loopback and
// only counts its lines. Prints both times, their ratio and the host's peak
// memory with the load and with a load that ends at once.
//
//   history_e2e_bench [lines]
//   ORVELLA_E2E_WINDOWS_BIN=build-windows/bin ORVELLA_E2E_EMULATOR=scripts/wine-run.sh \
//       history_e2e_bench [lines]          (the Windows host and plug-in under wine)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "settings/registry_access.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

pid_t Spawn(std::vector<std::string> args, const fs::path& output) {
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::string Date(std::time_t when, const char* pattern) {
    std::tm parts{};
    localtime_r(&when, &parts);
    char text[40];
    std::strftime(text, sizeof text, pattern, &parts);
    return text;
}

// The latest weekday up to now at noon, where the feed's replies end.
std::string LastWeekdayNoon() {
    std::time_t then = std::time(nullptr);
    std::tm parts{};
    for (localtime_r(&then, &parts); parts.tm_wday == 0 || parts.tm_wday == 6;
         localtime_r(&then, &parts)) {
        then -= 86400;
    }
    return Date(then, "%Y-%m-%d 12:00:00");
}

struct HostRun {
    double seconds = 0;
    long peakKb = 0;
    int status = -1;
};

// With ORVELLA_E2E_WINDOWS_BIN naming the Windows build's program folder, the
// host is its nst-host.exe with OrvellaForNST.dll under ORVELLA_E2E_EMULATOR
// (wine); the feed and the baseline stay on this machine.
const char* WindowsBin() {
    return std::getenv("ORVELLA_E2E_WINDOWS_BIN");
}

std::vector<std::string> WindowsCommand(const std::string& program) {
    const char* emulator = std::getenv("ORVELLA_E2E_EMULATOR");
    return {emulator != nullptr ? emulator : "wine", program};
}

std::string DriveZ(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

HostRun RunHost(const fs::path& root, const std::string& command) {
    std::vector<std::string> args = {NST_HOST_PATH, "--count-only", "-c", command,
                                     ORVELLA_PLUGIN_PATH};
    if (WindowsBin() != nullptr) {
        args = WindowsCommand(std::string(WindowsBin()) + "/nst-host.exe");
        args.insert(args.end(), {"--count-only", "-c", command,
                                 DriveZ(std::string(WindowsBin()) + "/OrvellaForNST.dll")});
    }
    const auto begin = std::chrono::steady_clock::now();
    const pid_t pid = Spawn(args, root / "host.out");
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    HostRun run;
    run.seconds = Seconds(begin);
    run.peakKb = usage.ru_maxrss;
    run.status = status;
    return run;
}

// Sends request to the lookup port and counts the reply's lines up to and
// including the end line.
long CountReplyLines(uint16_t port, const std::string& request) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return -1;
    }
    send(fd, request.data(), request.size(), 0);
    std::vector<char> buffer(131072);
    long lines = 0;
    // The end line "!ENDMSG!," is found across reads by keeping its prefix.
    std::string tail;
    for (;;) {
        const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) {
            break;
        }
        for (ssize_t i = 0; i < n; ++i) {
            lines += buffer[static_cast<size_t>(i)] == '\n';
        }
        tail.append(buffer.data(), static_cast<size_t>(n));
        if (tail.find("!ENDMSG!") != std::string::npos) {
            break;
        }
        tail.erase(0, tail.size() > 16 ? tail.size() - 16 : 0);
    }
    close(fd);
    return lines;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string lines = argc > 1 ? argv[1] : "1000000";
    char pattern[] = "/tmp/orvella-history-e2e-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return 1;
    }
    const fs::path root = pattern;
    setenv("ORVELLA_REGISTRY", (root / "registry.db").c_str(), 1);
    setenv("HOME", root.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", root.c_str(), 1);

    const pid_t sim =
        Spawn({ORVELLA_FEED_SIM_PATH, "--lookup-port", "0", "--level1-port", "0", "--admin-port",
               "0", "--history-lines", lines, "--now", LastWeekdayNoon(), "--log",
               (root / "sim.log").string(), "--ready-file", (root / "ready").string()},
              root / "sim.out");
    for (int i = 0; i < 500 && !fs::exists(root / "ready"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    uint16_t port = 0;
    std::ifstream ready(root / "ready");
    for (std::string line; std::getline(ready, line);) {
        if (line.rfind("lookup=", 0) == 0) {
            port = static_cast<uint16_t>(std::stoi(line.substr(7)));
        }
    }
    orvella::WriteRegString(L"Software\\Corvan\\Orvella\\Startup\\LookupPort",
                            std::to_wstring(port));
    if (WindowsBin() != nullptr) {
        std::vector<std::string> reg = WindowsCommand("reg.exe");
        reg.insert(reg.end(), {"add", "HKCU\\Software\\Corvan\\Orvella\\Startup", "/v",
                               "LookupPort", "/t", "REG_SZ", "/d", std::to_string(port), "/f"});
        waitpid(Spawn(reg, root / "reg.out"), nullptr, 0);
    }

    const std::string start = Date(std::time(nullptr) - 30 * 86400, "%Y-%m-%d");
    const HostRun load = RunHost(root, "request ABC 0 " + start);
    // A load that ends at once: the feed answers an unknown symbol with one
    // error line. Its peak is the host's and plug-in's own footprint.
    const HostRun empty = RunHost(root, "request BADSYM 0 " + start);

    // The request the plug-in sent, as the feed logged it.
    std::string request;
    std::ifstream log(root / "sim.log");
    for (std::string line; std::getline(log, line);) {
        const size_t at = line.find("lookup request on connection ");
        if (at != std::string::npos && request.empty()) {
            request = line.substr(line.find(": ", at) + 2) + "\r\n";
        }
    }
    const auto begin = std::chrono::steady_clock::now();
    const long baselineLines = CountReplyLines(port, request);
    const double baselineSeconds = Seconds(begin);

    std::string summary;
    std::ifstream out(root / "host.out");
    for (std::string line; std::getline(out, line);) {
        if (line.rfind("series ABC", 0) == 0) {
            summary = line;
        }
    }
    std::printf("request: %s", request.c_str());
    std::printf("baseline (loopback, count lines): %.3f s, %ld lines\n", baselineSeconds,
                baselineLines);
    std::printf("nst-host + plug-in (--count-only): %.3f s (%s)\n", load.seconds, summary.c_str());
    std::printf("ratio: %.2fx the baseline's time\n", load.seconds / baselineSeconds);
    std::printf("host start and stop alone (a load that ends at once): %.3f s\n", empty.seconds);
    std::printf(
        "nst-host peak memory: %.1f MB with the load, %.1f MB with an empty load, "
        "%.1f MB for the load\n",
        load.peakKb / 1024.0, empty.peakKb / 1024.0, (load.peakKb - empty.peakKb) / 1024.0);

    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return load.status == 0 ? 0 : 1;
}
