// Command-line options of orvella-feed-sim. Every option takes its value as
// the next argument, taken as it is (so values may start with '-').
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "feedsim/civil_time.h"

namespace feedsim {

struct CSimOptions {
    // Ports; -1 means "from the startup registry key, else the default".
    int lookupPort = -1;
    int level1Port = -1;
    int adminPort = 9300;
    bool listenLookup = true, listenLevel1 = true, listenAdmin = true;

    double loginDelaySeconds = 0.5;
    // Seconds after start before any port listens (a feed client that takes
    // a while to come up).
    double listenDelaySeconds = 0.0;
    // Below 0: the signals leave the lookup port alone. Else SIGUSR1 drops
    // the lookup port as well, and after SIGUSR2 it listens again this many
    // seconds after the level-one port (a feed client restarting).
    double lookupLagSeconds = -1.0;
    std::string login, product, productVersion;

    // Updates per second and symbol; 0 sends none, fastest sends as fast as
    // the client reads.
    double updateRate = 4.0;
    bool fastest = false;
    int maxSymbols = 500;
    // Every update is a trade whose size is its number in the symbol's
    // sequence (1, 2, ...), so a receiver can prove it got each one once, in
    // order.
    bool numberedTrades = false;
    // Streamed trades outside the regular session 09:30-16:00 are marked
    // extended; without it every streamed trade is a regular one, at any hour.
    bool session = false;

    int64_t historyLines = 0;
    int tickDays = 10, barDays = 365, dailyDays = 3650;
    bool fixedNow = false;
    CivilSeconds now = 0;
    std::string dataDir;

    std::string logPath;  // empty: standard error; "none": no log
    std::string readyFile, pidFile;
    int readyFd = -1;

    // Fault modes.
    int64_t lookupCloseAfter = -1;
    bool noEndLine = false;
    bool lookupSilent = false;
    bool oneByte = false;
    int byteGapMicros = 200;
    bool garbage = false;
    int longLineBytes = 70000;
    bool noCustomerInfo = false;
    bool neverConnected = false;
    bool adminClose = false;
    int64_t level1CloseAfter = -1;

    bool help = false;
    bool version = false;
};

// Parses argv[1..]. On failure returns false with a one-line message.
bool ParseSimOptions(const std::vector<std::string>& args, CSimOptions* out, std::string* error);

// The --help text.
const char* SimUsage();

}  // namespace feedsim
