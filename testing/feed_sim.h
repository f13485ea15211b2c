// The feed-client stand-in as a child process on ports of its own choosing.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "testing/programs.h"

namespace orvella::testing {

class CPrivateEnvironment;

struct CFeedSimOptions {
    // The admin port: -1 for none, 0 for a free one, or a fixed one (9300,
    // where the plug-in's login goes).
    int adminPort = -1;
    // Seconds to keep trying while the fixed admin port is still held (by
    // the previous run of the same test, for example).
    int portWaitSeconds = 0;
    // Where the process id goes (empty: nowhere), and the log ("none" for
    // none; empty: sim.log in the run's folder).
    std::string pidFile;
    std::string log;
    // The login delay in seconds; empty for the stand-in's own.
    std::string loginDelay = "0";
    // Further options: clock, rates, fault modes.
    std::vector<std::string> options;
    // The program; empty for the build's.
    std::string program;
};

class CFeedSim {
  public:
    // Starts the stand-in with its ready file, log and output in dir and
    // waits up to 10 seconds until it listens. False when it did not (for
    // example because the admin port stayed taken).
    bool Start(const std::string& dir, const CFeedSimOptions& options);
    // The same in a private environment, with the pid file where that
    // environment's launcher looks.
    bool Start(const CPrivateEnvironment& env, CFeedSimOptions options);
    // SIGTERM, then SIGKILL after 5 seconds; the exit code, or -1.
    int Stop(int signal = SIGTERM);
    ~CFeedSim() { Stop(); }

    pid_t Pid() const { return m_pid; }
    // The feed client's log (empty when it keeps none).
    std::string Log() const;

    int lookup = -1, level1 = -1, admin = -1;

  private:
    pid_t m_pid = -1;
    std::string m_log;
};

}  // namespace orvella::testing
