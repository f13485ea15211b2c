#include "platform/shell.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/timer_queue.h"

extern char** environ;

namespace platform {

namespace {

// Any value above 32 reports success.
constexpr intptr_t kStarted = 42;

constexpr int kErrorFileNotFound = 2;
constexpr int kErrorAccessDenied = 5;
constexpr int kErrorNotEnoughMemory = 8;
constexpr int kErrorBadFormat = 11;
constexpr int kErrorGenFailure = 31;

// The shell's error number for an errno of a failed search or start; the
// shell reports these same small numbers as its instance result.
int ShellErrorFromErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return kErrorFileNotFound;
        case EACCES:
        case EPERM:
            return kErrorAccessDenied;
        case ENOMEM:
        case EAGAIN:
            return kErrorNotEnoughMemory;
        case ENOEXEC:
            return kErrorBadFormat;
        default:
            return kErrorGenFailure;
    }
}

ShellResult Failure(int code) {
    SetLastPlatformError(code);
    return ShellResult{code, code};
}

// The errno of a search for an executable regular file at path, or 0.
int CheckProgram(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return errno;
    }
    if (!S_ISREG(info.st_mode)) {
        return EACCES;
    }
    return access(path.c_str(), X_OK) == 0 ? 0 : errno;
}

// Finds file like the shell: a name with a separator is a path; otherwise
// each folder of PATH in turn (an empty entry is the working folder). The
// first executable match wins; without one, the most telling error.
int FindProgram(const std::string& file, std::string* path) {
    if (file.find('/') != std::string::npos) {
        *path = file;
        return CheckProgram(file);
    }
    const char* searchPath = std::getenv("PATH");
    const std::string folders = searchPath != nullptr ? searchPath : "/usr/local/bin:/usr/bin:/bin";
    int error = ENOENT;
    size_t start = 0;
    for (;;) {
        const size_t end = folders.find(':', start);
        std::string folder = folders.substr(start, end == std::string::npos ? end : end - start);
        const std::string candidate = folder.empty() ? file : folder + "/" + file;
        const int found = CheckProgram(candidate);
        if (found == 0) {
            *path = candidate;
            return 0;
        }
        if (found == EACCES) {
            error = EACCES;
        }
        if (end == std::string::npos) {
            return error;
        }
        start = end + 1;
    }
}

// In the grandchild: a new session, default signal mask, no inherited
// descriptors, then the program. Only async-signal-safe calls after fork.
[[noreturn]] void StartGrandchild(const char* path, char* const* argv, int reportFd) {
    setsid();
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    execve(path, argv, environ);
    const int err = errno;
    [[maybe_unused]] ssize_t written = write(reportFd, &err, sizeof(err));
    _exit(127);
}

}  // namespace

ShellResult ShellExecute(const std::string& file, const std::vector<std::string>& args) {
    if (file.empty()) {
        return Failure(kErrorFileNotFound);
    }
    std::string path;
    if (const int err = FindProgram(file, &path); err != 0) {
        return Failure(ShellErrorFromErrno(err));
    }
    // Everything the children need is prepared before fork.
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(file.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    // The exec failure of the grandchild comes back through this pipe; a
    // successful exec closes it empty.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        return Failure(ShellErrorFromErrno(errno));
    }
    const pid_t child = fork();
    if (child < 0) {
        const int err = errno;
        close(report[0]);
        close(report[1]);
        return Failure(ShellErrorFromErrno(err));
    }
    if (child == 0) {
        // The intermediate child exits at once, so the program is adopted by
        // init and never becomes our zombie.
        close(report[0]);
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            StartGrandchild(path.c_str(), argv.data(), report[1]);
        }
        if (grandchild < 0) {
            const int err = errno;
            [[maybe_unused]] ssize_t written = write(report[1], &err, sizeof(err));
        }
        _exit(0);
    }
    close(report[1]);
    int status;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int execError = 0;
    ssize_t got;
    do {
        got = read(report[0], &execError, sizeof(execError));
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got == sizeof(execError)) {
        return Failure(ShellErrorFromErrno(execError));
    }
    return ShellResult{kStarted, 0};
}

}  // namespace platform
