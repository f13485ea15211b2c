// Orvalink.exe: the feed client's launcher. Starts orvella-feed-sim in the
// background unless one is already serving, then exits. See feedsim/README.md.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "feedsim/launcher_args.h"

namespace {

constexpr int kReadyTimeoutMs = 10000;

const char* kUsage =
    "Usage: Orvalink.exe -product P -version V -login U -password W\n"
    "       Orvalink.exe --stop\n"
    "       Orvalink.exe --help | --version\n"
    "\n"
    "Starts the stand-in feed client orvella-feed-sim in the background (found\n"
    "next to this program, else on PATH) unless one is already serving, and\n"
    "exits 0 once it listens. Each value is one argument. Extra simulator\n"
    "options come from the environment variable ORVELLA_FEED_SIM_ARGS (split\n"
    "at blanks). The process id is kept in orvella-feed-sim-<uid>.pid and the\n"
    "simulator's output goes to orvella-feed-sim-<uid>.log, both in\n"
    "$XDG_RUNTIME_DIR, or when that is unset or others may write there, in\n"
    "${TMPDIR:-/tmp}/orvella-feed-sim-<uid>/, a folder only you can write.\n"
    "The simulator keeps running after the charting host exits; --stop ends\n"
    "the one the pid file names (or kill the pid it holds).\n";

// A folder that exists and that no other user can write into (or rename
// things in): what it holds was put there by this user.
bool IsPrivateFolder(const std::string& folder, bool followLink) {
    struct stat info {};
    const int found = followLink ? stat(folder.c_str(), &info) : lstat(folder.c_str(), &info);
    return found == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The folder for the pid file and the log. The shared temporary folder is
// never used directly: anyone may plant files or links there.
std::string RuntimeDir(const std::string& uid, std::string* error) {
    const char* session = std::getenv("XDG_RUNTIME_DIR");
    if (session != nullptr && *session != '\0' && IsPrivateFolder(session, true)) {
        return session;
    }
    const char* tmp = std::getenv("TMPDIR");
    const std::string own =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/orvella-feed-sim-" + uid;
    if (mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = "cannot create " + own + ": " + std::strerror(errno);
        return "";
    }
    if (!IsPrivateFolder(own, false)) {
        *error = own + " is not a folder that only you can write; remove it";
        return "";
    }
    return own;
}

// The log, appended to; never through a link planted at its place. /dev/null
// when it cannot be opened.
int OpenLog(const std::string& logPath) {
    int fd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::fprintf(stderr, "Orvalink.exe: cannot open log %s: %s; the output is discarded\n",
                     logPath.c_str(), std::strerror(errno));
        fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    }
    // Clear of the standard descriptors it will replace.
    if (fd >= 0 && fd <= STDERR_FILENO) {
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        close(fd);
        fd = moved;
    }
    return fd;
}

bool AdminPortAccepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (!ok && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int soError = 0;
        socklen_t len = sizeof soError;
        ok = poll(&p, 1, 2000) == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) == 0 &&
             soError == 0;
    }
    close(fd);
    return ok;
}

// The pid of a simulator that is alive and whose admin port accepts, else 0.
long RunningSimulator(const std::string& pidPath, int adminPort) {
    std::ifstream file(pidPath);
    long pid = 0;
    if (!(file >> pid) || pid <= 0) {
        return 0;
    }
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) {
        return 0;
    }
    return AdminPortAccepts(adminPort) ? pid : 0;
}

// Ends the simulator the pid file names: SIGTERM, then up to five seconds for
// it to go. Exit code 0 when it has gone or none was running.
int StopSimulator(const std::string& pidPath) {
    std::ifstream file(pidPath);
    long pid = 0;
    if (!(file >> pid) || pid <= 0 || kill(static_cast<pid_t>(pid), 0) != 0) {
        std::printf("Orvalink.exe: orvella-feed-sim is not running\n");
        return 0;
    }
    if (kill(static_cast<pid_t>(pid), SIGTERM) != 0) {
        std::fprintf(stderr, "Orvalink.exe: cannot stop pid %ld: %s\n", pid, std::strerror(errno));
        return 1;
    }
    for (int i = 0; i < 500 && kill(static_cast<pid_t>(pid), 0) == 0; ++i) {
        usleep(10000);
    }
    if (kill(static_cast<pid_t>(pid), 0) == 0) {
        std::fprintf(stderr, "Orvalink.exe: orvella-feed-sim (pid %ld) did not stop\n", pid);
        return 1;
    }
    std::printf("Orvalink.exe: stopped orvella-feed-sim (pid %ld)\n", pid);
    return 0;
}

std::string FindSimulator() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string path(self, static_cast<size_t>(n));
        path = path.substr(0, path.rfind('/') + 1) + "orvella-feed-sim";
        if (access(path.c_str(), X_OK) == 0) {
            return path;
        }
    }
    const char* searchPath = std::getenv("PATH");
    std::string rest = searchPath != nullptr ? searchPath : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find(':', start);
        if (end == std::string::npos) {
            end = rest.size();
        }
        std::string dir = rest.substr(start, end - start);
        const std::string candidate = (dir.empty() ? "." : dir) + "/orvella-feed-sim";
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return "";
}

// Starts the simulator fully detached (own session, not our child) and
// returns what it wrote on its readiness pipe: "ready..." or "" when it ended
// or did not answer in time.
std::string StartDetached(std::vector<std::string> argv, int logFd) {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        return "";
    }
    // Keep both ends clear of the standard descriptors replaced below.
    for (int& end : ready) {
        if (end <= STDERR_FILENO) {
            const int moved = fcntl(end, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
            close(end);
            end = moved;
        }
    }
    argv.push_back("--ready-fd");
    argv.push_back(std::to_string(ready[1]));
    const pid_t child = fork();
    if (child < 0) {
        return "";
    }
    if (child == 0) {
        setsid();
        if (fork() != 0) {
            _exit(0);
        }
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, STDIN_FILENO);
        dup2(logFd, STDOUT_FILENO);
        dup2(logFd, STDERR_FILENO);
        // The write end goes to the simulator; --ready-fd names it.
        fcntl(ready[1], F_SETFD, 0);
        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        execv(args[0], args.data());
        std::fprintf(stderr, "Orvalink.exe: cannot start %s: %s\n", args[0], std::strerror(errno));
        _exit(127);
    }
    close(ready[1]);
    int status = 0;
    waitpid(child, &status, 0);
    std::string answer;
    char buffer[256];
    pollfd p{ready[0], POLLIN, 0};
    while (poll(&p, 1, kReadyTimeoutMs) == 1) {
        const ssize_t n = read(ready[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        answer.append(buffer, static_cast<size_t>(n));
    }
    close(ready[0]);
    return answer.rfind("ready", 0) == 0 ? answer : "";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace feedsim;
    // "-version V" is the product's version; "--version" alone is ours.
    if (argc == 2) {
        if (const int code = orvella::cli::AnswerStandardOption({"Orvalink.exe", kUsage}, argv[1]);
            code >= 0) {
            return code;
        }
    }
    CLauncherArgs args;
    std::string error;
    if (!ParseLauncherArgs(std::vector<std::string>(argv + 1, argv + argc), &args, &error)) {
        std::fprintf(stderr, "Orvalink.exe: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (args.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const std::vector<std::string> extra = SplitSimArgs(std::getenv("ORVELLA_FEED_SIM_ARGS"));
    const std::string uid = std::to_string(getuid());
    const std::string runtimeDir = RuntimeDir(uid, &error);
    if (runtimeDir.empty()) {
        std::fprintf(stderr, "Orvalink.exe: %s\n", error.c_str());
        return 1;
    }
    const std::string pidPath = runtimeDir + "/orvella-feed-sim-" + uid + ".pid";
    const std::string logPath = runtimeDir + "/orvella-feed-sim-" + uid + ".log";
    if (args.stop) {
        return StopSimulator(pidPath);
    }
    if (const long pid = RunningSimulator(pidPath, AdminPortOf(extra))) {
        std::printf("Orvalink.exe: orvella-feed-sim is already running (pid %ld)\n", pid);
        return 0;
    }
    const std::string simulator = FindSimulator();
    if (simulator.empty()) {
        std::fprintf(stderr,
                     "Orvalink.exe: orvella-feed-sim not found next to Orvalink.exe or on PATH\n");
        return 1;
    }
    // The password stays with the launcher: command lines are visible to every user.
    std::vector<std::string> simArgs = {simulator};
    simArgs.insert(simArgs.end(), extra.begin(), extra.end());
    const std::vector<std::string> own = {
        "--login",           args.login,   "--product",  args.product,
        "--product-version", args.version, "--pid-file", pidPath};
    simArgs.insert(simArgs.end(), own.begin(), own.end());
    signal(SIGPIPE, SIG_IGN);
    const int logFd = OpenLog(logPath);
    const std::string answer = StartDetached(simArgs, logFd);
    close(logFd);
    if (answer.empty()) {
        std::fprintf(stderr, "Orvalink.exe: orvella-feed-sim did not start; see %s\n",
                     logPath.c_str());
        return 1;
    }
    std::printf("Orvalink.exe: started %s\n", simulator.c_str());
    return 0;
}
