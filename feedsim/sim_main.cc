// orvella-feed-sim: the stand-in feed client. See feedsim/README.md.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "feedsim/feed_clock.h"
#include "feedsim/feed_server.h"
#include "feedsim/serve_log.h"
#include "feedsim/sim_options.h"
#include "feedsim/startup_ports.h"

namespace {

bool WriteFileAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp." + std::to_string(getpid());
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << text;
        if (!file.flush()) {
            return false;
        }
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

void RemoveOwnPidFile(const std::string& path) {
    std::ifstream file(path);
    long pid = 0;
    if (file >> pid && pid == static_cast<long>(getpid())) {
        std::remove(path.c_str());
    }
}

// Waits the listen delay; false when a stop signal came meanwhile (the
// level-one signals are ignored while nothing listens).
bool WaitUnlessStopped(int signalFd, double seconds) {
    const int64_t deadline = feedsim::MonotonicMicros() + static_cast<int64_t>(seconds * 1e6);
    for (int64_t now; (now = feedsim::MonotonicMicros()) < deadline;) {
        pollfd p{signalFd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>((deadline - now + 999) / 1000)) == 1) {
            signalfd_siginfo info{};
            if (read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info) &&
                info.ssi_signo != SIGUSR1 && info.ssi_signo != SIGUSR2) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace feedsim;
    CSimOptions options;
    std::string error;
    if (!ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
        std::fprintf(stderr, "orvella-feed-sim: %s\n%s", error.c_str(), SimUsage());
        return 2;
    }
    if (options.help) {
        std::fputs(SimUsage(), stdout);
        return 0;
    }
    if (options.version) {
        std::puts("orvella-feed-sim " ORVELLA_FEEDSIM_VERSION);
        return 0;
    }
    if (options.lookupPort < 0) {
        options.lookupPort = ReadStartupPort(L"LookupPort", 9100);
    }
    if (options.level1Port < 0) {
        options.level1Port = ReadStartupPort(L"Level1Port", 5009);
    }

    CServeLog log;
    if (!log.Open(options.logPath)) {
        std::fprintf(stderr, "orvella-feed-sim: cannot open log %s: %s\n", options.logPath.c_str(),
                     std::strerror(errno));
        return 1;
    }

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGUSR1);
    sigaddset(&stopSignals, SIGUSR2);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int stopFd = signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGHUP, SIG_IGN);
    if (stopFd < 0) {
        std::fprintf(stderr, "orvella-feed-sim: signalfd: %s\n", std::strerror(errno));
        return 1;
    }

    if (options.listenDelaySeconds > 0 && !WaitUnlessStopped(stopFd, options.listenDelaySeconds)) {
        return 0;
    }
    CFeedServer server(options, &log);
    if (!server.Listen(&error)) {
        std::fprintf(stderr, "orvella-feed-sim: %s\n", error.c_str());
        log.Write("%s", error.c_str());
        return 1;
    }
    const std::string ports = "lookup=" + std::to_string(server.LookupPort()) +
                              "\nlevel1=" + std::to_string(server.Level1Port()) +
                              "\nadmin=" + std::to_string(server.AdminPort()) +
                              "\npid=" + std::to_string(getpid()) + "\n";
    if (!options.pidFile.empty() &&
        !WriteFileAtomically(options.pidFile, std::to_string(getpid()) + "\n")) {
        log.Write("cannot write pid file %s", options.pidFile.c_str());
    }
    if (!options.readyFile.empty() && !WriteFileAtomically(options.readyFile, ports)) {
        std::fprintf(stderr, "orvella-feed-sim: cannot write %s\n", options.readyFile.c_str());
        return 1;
    }
    if (options.readyFd >= 0) {
        const std::string ready = "ready\n" + ports;
        if (write(options.readyFd, ready.data(), ready.size()) < 0) {
            log.Write("cannot report readiness on descriptor %d", options.readyFd);
        }
        close(options.readyFd);
    }
    log.Write("ready lookup=%d level1=%d admin=%d", server.LookupPort(), server.Level1Port(),
              server.AdminPort());
    std::printf("ready lookup=%d level1=%d admin=%d\n", server.LookupPort(), server.Level1Port(),
                server.AdminPort());
    std::fflush(stdout);

    const bool ok = server.Run(stopFd);
    if (!options.pidFile.empty()) {
        RemoveOwnPidFile(options.pidFile);
    }
    close(stopFd);
    return ok ? 0 : 1;
}
