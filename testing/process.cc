#include "testing/process.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace orvella::testing {

pid_t Spawn(const std::vector<std::string>& argv, const std::string& outputPath) {
    std::vector<std::string> copy = argv;
    std::vector<char*> args;
    for (std::string& arg : copy) {
        args.push_back(arg.data());
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    // The search on PATH serves a command prefix such as an emulator.
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

namespace {

// A descriptor that becomes readable when the process ends; -1 where the
// kernel has none.
int OpenProcessDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

}  // namespace

int WaitExit(pid_t pid, int timeoutMs, long* peakKb) {
    if (pid <= 0) {
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // Woken by the exit itself: a sleep between checks would add up to its
    // length to every run a benchmark times.
    const int ended = OpenProcessDescriptor(pid);
    int status = 0;
    rusage usage{};
    int result = -1;
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid) {
            if (peakKb != nullptr) {
                *peakKb = usage.ru_maxrss;
            }
            result = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (done < 0) {
            break;  // not our child (any more)
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() < 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            break;
        }
        if (ended >= 0) {
            pollfd gone{ended, POLLIN, 0};
            poll(&gone, 1, static_cast<int>(std::min<int64_t>(left.count() + 1, 1000)));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (ended >= 0) {
        close(ended);
    }
    return result;
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

std::vector<int> AllowedProcessors() {
    std::vector<int> processors;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &set)) {
                processors.push_back(cpu);
            }
        }
    }
    return processors;
}

bool PinToProcessor(pid_t pid, int processor) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(processor, &set);
    if (pid == 0) {
        return sched_setaffinity(0, sizeof set, &set) == 0;
    }
    DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/task").c_str());
    if (dir == nullptr) {
        return false;
    }
    bool pinned = true;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            pinned = sched_setaffinity(std::atoi(entry->d_name), sizeof set, &set) == 0 && pinned;
        }
    }
    closedir(dir);
    return pinned;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::map<std::string, std::string> ReadKeyValues(const std::string& path) {
    std::map<std::string, std::string> values;
    for (const std::string& line : ReadLines(path)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos) {
            values[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return values;
}

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
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

size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

namespace {

std::string FormatLocal(std::time_t when, const char* pattern) {
    std::tm parts{};
    localtime_r(&when, &parts);
    char text[40];
    std::strftime(text, sizeof text, pattern, &parts);
    return text;
}

}  // namespace

std::string LocalDate(int daysAgo) {
    return FormatLocal(std::time(nullptr) - static_cast<std::time_t>(daysAgo) * 86400, "%Y-%m-%d");
}

std::string LastWeekdayNoon() {
    std::time_t then = std::time(nullptr);
    std::tm parts{};
    for (localtime_r(&then, &parts); parts.tm_wday == 0 || parts.tm_wday == 6;
         localtime_r(&then, &parts)) {
        then -= 86400;
    }
    return FormatLocal(then, "%Y-%m-%d 12:00:00");
}

}  // namespace orvella::testing
