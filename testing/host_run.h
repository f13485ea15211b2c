// The stand-in host run over a command script with the plug-in, and what it
// recorded: its calls as JSON lines, put together into rows, boxes, progress
// and results, with the plug-in's log.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace orvella::testing {

class CPrivateEnvironment;

inline constexpr size_t kNone = std::string::npos;

// One call of the record.
struct CCall {
    std::string call;
    std::string line;
    // The raw text of a field (strings without their quotes, unescaped only
    // for \" and \\); empty when absent.
    std::string Field(const std::string& name) const;
    double Number(const std::string& name) const;
};

// A committed row: its series and the values set for it since its previous
// commit, by column (1 first).
struct CRow {
    std::string symbol;
    std::string interval;
    std::vector<double> values;
    std::vector<std::string> texts;  // the values as recorded
    size_t call = 0;                 // index of its NSTCOMMITROW in the calls
    // Committed inside a request, after its series was announced: a history
    // row (streamed lines are held meanwhile).
    bool history = false;
    // RequestTicker calls that had returned when the row was committed.
    int requestsBefore = 0;

    // The recorded text of a column (1 first); empty when it was not set.
    std::string Text(size_t column) const;
};

struct CHostRun {
    int status = -1;  // exit code; -1 for a signal or a kill at the time limit
    double seconds = 0;
    std::vector<CCall> calls;
    std::vector<CRow> rows;
    std::vector<std::string> boxes;      // message box texts
    std::vector<int> percents;           // UpdatePercent values
    std::vector<int> requestResults;     // RequestTicker results in order
    std::vector<int> credentialResults;  // UserIDPasswordChanged results
    // Every row's values set once, column by column, with no other series'
    // values in between.
    bool rowsWellFormed = true;
    std::string log;  // the plug-in's log files, joined

    // Index of the n-th (from 0) call of this name (of this symbol, unless
    // empty), or kNone.
    size_t Find(const std::string& call, int n = 0, const std::string& symbol = "") const;
    // Rows of the series (every series of the symbol when interval is empty)
    // committed after call from and before call to (kNone: no bound); only
    // the streamed ones when asked.
    std::vector<CRow> Rows(const std::string& symbol, const std::string& interval, size_t from,
                           size_t to = kNone, bool streamedOnly = false) const;
    // The rows that came from the level-one stream, in record order.
    std::vector<CRow> Streamed(const std::string& symbol, const std::string& interval) const {
        return Rows(symbol, interval, kNone, kNone, true);
    }
};

// Starts the environment's host (behind its command prefix) with the
// plug-in, the options and the commands (written to a script file).
pid_t StartHost(const CPrivateEnvironment& env, const std::vector<std::string>& commands,
                const std::vector<std::string>& options);
// Starts a program that lies beside the environment's host (a Windows
// benchmark's baseline beside nst-host.exe), behind the host's command
// prefix, with its output in outputPath.
pid_t StartBesideHost(const CPrivateEnvironment& env, const std::string& program,
                      const std::vector<std::string>& args, const std::string& outputPath);
// The options of a recorded run without a summary.
std::vector<std::string> RecordOptions(const CPrivateEnvironment& env);

// Runs the host quietly with its calls recorded and extra options, kills it
// after timeoutSeconds, and reads what it recorded.
CHostRun RunHost(const CPrivateEnvironment& env, const std::vector<std::string>& commands,
                 int timeoutSeconds, const std::vector<std::string>& extraOptions = {});
// Reads the record and the plug-in's log of a run that ended with status.
CHostRun ReadHostRun(const CPrivateEnvironment& env, int status);

// True when a's rows, in order, appear in b in the same order (values equal).
bool IsSubsequence(const std::vector<CRow>& a, const std::vector<CRow>& b);

}  // namespace orvella::testing
