// End-to-end test support: a private environment per test (registry, home,
// documents, runtime folder, a fake launcher first on PATH), the feed-client
// stand-in as a child process, the stand-in host run over a command script,
// and readers for its JSON call record and the plug-in's log.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace orvella::e2e {

// A scratch folder with the environment of one test; removed at the end.
class CPrivateEnvironment {
  public:
    // Creates the folders, points ORVELLA_REGISTRY, HOME, XDG_CONFIG_HOME,
    // XDG_DOCUMENTS_DIR and XDG_RUNTIME_DIR into it, and puts a fake
    // Orvalink.exe first on PATH that writes its arguments, one a line, to
    // LauncherArguments() and exits 0.
    CPrivateEnvironment();
    ~CPrivateEnvironment();
    CPrivateEnvironment(const CPrivateEnvironment&) = delete;
    CPrivateEnvironment& operator=(const CPrivateEnvironment&) = delete;

    const std::string& Dir() const { return m_dir; }
    // The charting host's install directory (NovaScopeRoot).
    std::string HostRoot() const { return m_dir + "/root"; }
    std::vector<std::string> LauncherArguments() const;

    // Writes the plug-in's settings and the feed client's ports.
    void WriteSettings(bool streaming, bool extendedTrades, bool logging);
    void WritePorts(int lookupPort, int level1Port);

    // Every file below the scratch folder, as paths relative to it.
    std::vector<std::string> Files() const;

    // The settings written so far as a registry file for the Windows host
    // (empty when no Windows host is chosen).
    std::string WindowsSettingsFile() const;

  private:
    void WriteWindowsValue(const std::string& key, const std::string& name,
                           const std::string& data);

    std::string m_dir;
    std::map<std::string, std::string> m_saved;
    std::map<std::string, std::map<std::string, std::string>> m_windowsSettings;
};

// The host the scenarios run in: this build's nst-host with its plug-in, or,
// when ORVELLA_E2E_WINDOWS_BIN names the Windows build's program folder, its
// nst-host.exe with OrvellaForNST.dll under the program named by
// ORVELLA_E2E_EMULATOR (wine). The Windows runner sets both; the scenarios are
// the same.
bool WindowsHost();
// A path as the host's programs see it (a Windows host sees / as drive Z:).
std::string HostPath(const std::string& path);

// The feed-client stand-in on ports of its own (the admin port as given:
// -1 for none), with extra options such as fault modes.
class CFeedSim {
  public:
    // False when it did not start listening within 10 seconds (for example
    // because the admin port is taken).
    bool Start(const std::string& dir, int adminPort, const std::vector<std::string>& options);
    // SIGTERM, then SIGKILL after 5 seconds.
    void Stop();
    ~CFeedSim() { Stop(); }

    pid_t Pid() const { return m_pid; }
    int lookup = -1, level1 = -1, admin = -1;

  private:
    pid_t m_pid = -1;
};

// One call of the record.
struct CCall {
    std::string call;
    std::string line;
    // The raw text of a field (strings without their quotes, unescaped only
    // for \" and \\); empty when absent.
    std::string Field(const std::string& name) const;
    double Number(const std::string& name) const;
};

// A committed row: its series and its values by column (1 first).
struct CRow {
    std::string symbol;
    std::string interval;
    std::vector<double> values;
    // RequestTicker calls that had returned when the row was committed: a
    // request's history rows come before its own return.
    int requestsBefore = 0;
};

struct CHostRun {
    int status = -1;  // exit code; -1 for a signal or a kill at the time limit
    std::vector<CCall> calls;
    std::vector<CRow> rows;
    std::vector<std::string> boxes;      // message box texts
    std::vector<int> percents;           // UpdatePercent values
    std::vector<int> requestResults;     // RequestTicker results in order
    std::vector<int> credentialResults;  // UserIDPasswordChanged results
    bool rowsWellFormed = true;          // every value of a row set once, column by column
    std::string log;                     // the plug-in's log files, joined
};

// Runs nst-host with the plug-in over the commands (written to a script
// file), records its calls and reads the plug-in's log from hostRoot. Kills
// it after timeoutSeconds.
CHostRun RunHost(const CPrivateEnvironment& env, const std::vector<std::string>& commands,
                 int timeoutSeconds, const std::vector<std::string>& hostOptions = {});

// Starts nst-host in the background (for the soak and blocking tests).
pid_t StartHost(const CPrivateEnvironment& env, const std::vector<std::string>& commands,
                const std::vector<std::string>& hostOptions = {});
// Waits for it up to timeoutMs; its exit code, or -1 (killed at the limit).
int WaitHost(pid_t pid, int timeoutMs);
CHostRun ReadHostRun(const CPrivateEnvironment& env, int status);

// True when the process has exited (a zombie not yet waited for).
bool ProcessEnded(pid_t pid);

// Resident memory in kB and open descriptors of a process (-1 when gone).
long ResidentKb(pid_t pid);
int OpenDescriptors(pid_t pid);

// True when a's rows, in order, appear in b in the same order (values equal).
bool IsSubsequence(const std::vector<CRow>& a, const std::vector<CRow>& b);

}  // namespace orvella::e2e
