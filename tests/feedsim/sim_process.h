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

#include "testing/feed_sim.h"
#include "testing/process.h"

namespace feedsim_test {

inline std::string MakeTempDir() {
    char pattern[] = "/tmp/feedsim-test-XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir != nullptr ? dir : "/tmp";
}

using orvella::testing::ReadKeyValues;
using orvella::testing::WaitExit;

// Runs `program args...` with stdout and stderr to a file.
inline pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
                   const std::string& outputPath) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    return orvella::testing::Spawn(argv, outputPath);
}

inline std::string ReadFile(const std::string& path) {
    return orvella::testing::ReadWholeFile(path);
}

// The simulator on free ports (unless the options name ports), with its own
// login delay and a scratch folder of its own.
class CSimProcess : public orvella::testing::CFeedSim {
  public:
    bool Start(std::vector<std::string> args) {
        m_dir = MakeTempDir();
        orvella::testing::CFeedSimOptions options;
        options.adminPort = 0;
        options.loginDelay.clear();
        options.options = std::move(args);
        return CFeedSim::Start(m_dir, options);
    }

    ~CSimProcess() {
        Stop();
        if (!m_dir.empty()) {
            std::system(("rm -rf '" + m_dir + "'").c_str());
        }
    }

    const std::string& Dir() const { return m_dir; }

  private:
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
