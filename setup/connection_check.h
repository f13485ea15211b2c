// The connection check ("Check the feed client", "--headless check"): the
// settings store, the install directory, the feed client's ports, its login,
// one history request and one watch, each reported on a status line as
// "ok" or "FAILED" with what to do, then a summary line.
#pragma once

#include <cstdint>
#include <string>

#include "setup/settings_store.h"
#include "setup/setup_view.h"

namespace orvella {

// How long each step waits, in milliseconds.
struct CheckLimits {
    int connectMs = 3000;
    int answerMs = 5000;    // a status line, the greeting, the watch's line
    int historyMs = 15000;  // the whole history reply
};

// The charting host's program, which its install directory holds
// ("nst-host", on Windows "nst-host.exe").
std::string HostProgramName();

// The admin port the plug-in logs in on.
inline constexpr uint16_t kCheckAdminPort = 9300;

// True when an admin status line reports the feed client connected to the
// feed: at least 21 non-empty comma-separated fields, the 13th "Connected".
bool IsConnectedAdminLine(const std::string& line);

// The symbol of the first data line of the symbol file (after its header);
// empty when there is none.
std::string FirstSymbolOf(const std::string& symbolFile);

class CConnectionCheck {
  public:
    CConnectionCheck(CSetupView* view, CSetupSettingsStore* store,
                     const CheckLimits& limits = CheckLimits())
        : m_view(view), m_store(store), m_limits(limits) {}

    // Runs every step, also those after one that failed (each says what it
    // met); symbol is asked for in the history request and the
    // watch (empty: the first of symbolFile). Returns the number of steps
    // that failed.
    int Run(std::string symbol, const std::string& symbolFile);

  private:
    void Report(bool ok, const std::string& what, const std::string& detail);
    void CheckStore();
    void CheckInstallDirectory();
    void CheckPort(const char* name, uint16_t port);
    void CheckLogin();
    void CheckHistory(uint16_t port, const std::string& symbol);
    void CheckLevelOne(uint16_t port, const std::string& symbol);

    CSetupView* m_view;
    CSetupSettingsStore* m_store;
    CheckLimits m_limits;
    int m_steps = 0;
    int m_failed = 0;
};

}  // namespace orvella
