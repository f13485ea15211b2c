// Test helpers: the simulator as a child process on ports of its own choice,
// and a small blocking client with time limits.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace feedsim_test {

inline std::string MakeTempDir() {
    char pattern[] = "/tmp/feedsim-test-XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir != nullptr ? dir : "/tmp";
}

inline std::map<std::string, std::string> ReadKeyValues(const std::string& path) {
    std::map<std::string, std::string> values;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos) {
            values[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return values;
}

// Runs `program args...` with stdout and stderr to a file in dir.
inline pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
                   const std::string& outputPath) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// Waits up to timeoutMs for the child; returns its exit code, or -1 on a
// signal or time-out (the child is then killed).
inline int WaitExit(pid_t pid, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 10) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (done < 0) {
            return -1;  // not our child (any more)
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class CSimProcess {
  public:
    // Starts the simulator on free ports (unless args name ports) with the
    // given extra options and waits until it listens.
    bool Start(std::vector<std::string> args) {
        m_dir = MakeTempDir();
        const std::string ready = m_dir + "/ready";
        std::vector<std::string> all = {"--lookup-port", "0",           "--level1-port", "0",
                                        "--admin-port",  "0",           "--ready-file",  ready,
                                        "--log",         m_dir + "/log"};
        all.insert(all.end(), args.begin(), args.end());
        m_pid = Spawn(ORVELLA_FEED_SIM_PATH, all, m_dir + "/output");
        for (int i = 0; i < 1000 && access(ready.c_str(), F_OK) != 0; ++i) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        auto values = ReadKeyValues(ready);
        lookup = std::atoi(values["lookup"].c_str());
        level1 = std::atoi(values["level1"].c_str());
        admin = std::atoi(values["admin"].c_str());
        return !values.empty();
    }

    // Sends the signal and returns the exit code (-1 when it had to be killed).
    int Stop(int signal = SIGTERM) {
        if (m_pid <= 0) {
            return -1;
        }
        kill(m_pid, signal);
        const int code = WaitExit(m_pid, 5000);
        m_pid = -1;
        return code;
    }

    ~CSimProcess() {
        Stop();
        if (!m_dir.empty()) {
            std::system(("rm -rf '" + m_dir + "'").c_str());
        }
    }

    pid_t Pid() const { return m_pid; }
    const std::string& Dir() const { return m_dir; }

    int lookup = -1, level1 = -1, admin = -1;

  private:
    pid_t m_pid = -1;
    std::string m_dir;
};

// Blocking client socket to 127.0.0.1 with bounded reads.
class CClient {
  public:
    explicit CClient(int port) {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~CClient() { close(m_fd); }

    bool Connected() const { return m_connected; }
    bool Send(const std::string& text) {
        return send(m_fd, text.data(), text.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(text.size());
    }

    // Receives once, waiting up to timeoutMs. Returns the bytes (empty on
    // time-out); sets closed when the server closed the connection.
    std::string ReceiveSome(int timeoutMs) {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) != 1) {
            return "";
        }
        char buffer[65536];
        const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            closed = true;
            return "";
        }
        ++receives;
        return std::string(buffer, static_cast<size_t>(n));
    }

    // Receives until text holds `needle` (or, with needle empty, until the
    // server closes), the server closes, or timeoutMs passes.
    std::string ReceiveUntil(const std::string& needle, int timeoutMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!closed && (needle.empty() || text.find(needle) == std::string::npos)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                break;
            }
            text += ReceiveSome(static_cast<int>(left.count()));
        }
        return text;
    }

    std::string text;
    bool closed = false;
    int receives = 0;

  private:
    int m_fd = -1;
    bool m_connected = false;
};

// Complete CR LF lines of a text (an unfinished tail is left out).
inline std::vector<std::string> CrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    for (size_t nl; (nl = text.find("\r\n", pos)) != std::string::npos; pos = nl + 2) {
        lines.push_back(text.substr(pos, nl - pos));
    }
    return lines;
}

// Lines ended by a line feed, without it and without a CR before it.
inline std::vector<std::string> LfLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    for (size_t nl; (nl = text.find('\n', pos)) != std::string::npos; pos = nl + 1) {
        std::string line = text.substr(pos, nl - pos);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace feedsim_test
