// End to end: nst-host loads the plug-in and requests a tick history of N
// lines (default 1000000) from orvella-feed-sim, counting rows only. Beside
// it, in the same run, a baseline receives the same reply over loopback and
// only counts its lines. Prints both times, their ratio and the host's peak
// memory with the load and with a load that ends at once.
//
//   history_e2e_bench [lines]
// With ORVELLA_WINDOWS_BIN set, the host and the plug-in are the Windows
// build's under wine (testing/programs.h).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "testing/feed_sim.h"
#include "testing/host_run.h"
#include "testing/loopback.h"
#include "testing/private_environment.h"
#include "testing/process.h"

namespace {

using namespace orvella::testing;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct HostRun {
    double seconds = 0;
    long peakKb = 0;
    int status = -1;
    std::string output;
};

HostRun RunHost(const CPrivateEnvironment& env, const std::string& command) {
    const auto begin = std::chrono::steady_clock::now();
    HostRun run;
    run.status = WaitExit(StartHost(env, {command}, {"--count-only"}), 3600 * 1000, &run.peakKb);
    run.seconds = Seconds(begin);
    run.output = ReadWholeFile(env.Dir() + "/host.out");
    return run;
}

// Sends request to the lookup port and counts the reply's lines up to and
// including the end line.
long CountReplyLines(uint16_t port, const std::string& request) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = LoopbackAddress(port);
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
    const CPrivateEnvironment env(Launcher::kBuild, ChosenPrograms());
    CFeedSim sim;
    CFeedSimOptions feed;
    feed.adminPort = 0;
    feed.options = {"--history-lines", lines, "--now", LastWeekdayNoon()};
    if (!sim.Start(env, feed)) {
        std::fprintf(stderr, "orvella-feed-sim did not start\n");
        return 1;
    }
    env.WritePorts(sim.lookup, sim.level1);

    const std::string start = LocalDate(30);
    const HostRun load = RunHost(env, "request ABC 0 " + start);
    // A load that ends at once: the feed answers an unknown symbol with one
    // error line. Its peak is the host's and plug-in's own footprint.
    const HostRun empty = RunHost(env, "request BADSYM 0 " + start);

    // The request the plug-in sent, as the feed logged it.
    std::string request;
    for (const std::string& line : ReadLines(env.Dir() + "/sim.log")) {
        const size_t at = line.find("lookup request on connection ");
        if (at != std::string::npos && request.empty()) {
            request = line.substr(line.find(": ", at) + 2) + "\r\n";
        }
    }
    const auto begin = std::chrono::steady_clock::now();
    const long baselineLines = CountReplyLines(static_cast<uint16_t>(sim.lookup), request);
    const double baselineSeconds = Seconds(begin);

    std::string summary;
    const size_t at = load.output.find("series ABC");
    if (at != std::string::npos) {
        summary = load.output.substr(at, load.output.find('\n', at) - at);
    }
    std::printf("request: %s", request.c_str());
    std::printf("baseline (loopback, count lines): %.3f s, %ld lines\n", baselineSeconds,
                baselineLines);
    std::printf("nst-host + plug-in (--count-only): %.3f s (%s)\n", load.seconds, summary.c_str());
    std::printf("ratio: %.2fx the baseline's time\n", load.seconds / baselineSeconds);
    std::printf("host start and exit alone (the load that ends at once): %.3f s\n", empty.seconds);
    std::printf(
        "nst-host peak memory: %.1f MB with the load, %.1f MB with an empty load, "
        "%.1f MB for the load\n",
        load.peakKb / 1024.0, empty.peakKb / 1024.0, (load.peakKb - empty.peakKb) / 1024.0);
    return load.status == 0 ? 0 : 1;
}
