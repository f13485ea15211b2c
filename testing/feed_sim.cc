#include "testing/feed_sim.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "testing/private_environment.h"
#include "testing/process.h"

namespace orvella::testing {

bool CFeedSim::Start(const std::string& dir, const CFeedSimOptions& options) {
    const std::string ready = dir + "/sim-ready";
    m_log = options.log.empty() ? dir + "/sim.log" : options.log;
    std::vector<std::string> argv = {
        options.program.empty() ? BuildPrograms().feedSim : options.program,
        "--lookup-port",
        "0",
        "--level1-port",
        "0",
        "--ready-file",
        ready,
        "--log",
        m_log};
    if (!options.loginDelay.empty()) {
        argv.insert(argv.end(), {"--login-delay", options.loginDelay});
    }
    if (options.adminPort < 0) {
        argv.insert(argv.end(), {"--no-listen", "admin"});
    } else {
        argv.insert(argv.end(), {"--admin-port", std::to_string(options.adminPort)});
    }
    if (!options.pidFile.empty()) {
        argv.insert(argv.end(), {"--pid-file", options.pidFile});
    }
    argv.insert(argv.end(), options.options.begin(), options.options.end());

    unlink(ready.c_str());
    const auto giveUp =
        std::chrono::steady_clock::now() + std::chrono::seconds(options.portWaitSeconds);
    for (;;) {
        m_pid = Spawn(argv, dir + "/sim.out");
        for (int i = 0; i < 1000 && m_pid > 0 && access(ready.c_str(), F_OK) != 0; ++i) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;  // it could not listen
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        if (m_pid > 0 || std::chrono::steady_clock::now() >= giveUp) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    auto values = ReadKeyValues(ready);
    if (m_pid <= 0 || values.empty()) {
        Stop();
        return false;
    }
    lookup = std::atoi(values["lookup"].c_str());
    level1 = std::atoi(values["level1"].c_str());
    admin = std::atoi(values["admin"].c_str());
    return true;
}

bool CFeedSim::Start(const CPrivateEnvironment& env, CFeedSimOptions options) {
    options.pidFile = env.FeedPidFile();
    if (options.program.empty()) {
        options.program = env.Programs().feedSim;
    }
    return Start(env.Dir(), options);
}

int CFeedSim::Stop(int signal) {
    if (m_pid <= 0) {
        return -1;
    }
    kill(m_pid, signal);
    const int code = WaitExit(m_pid, 5000);
    m_pid = -1;
    return code;
}

std::string CFeedSim::Log() const {
    return m_log == "none" ? std::string() : ReadWholeFile(m_log);
}

}  // namespace orvella::testing
