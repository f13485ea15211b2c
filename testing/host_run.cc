#include "testing/host_run.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <utility>

#include "testing/private_environment.h"
#include "testing/process.h"

namespace orvella::testing {

namespace fs = std::filesystem;

namespace {

std::string RecordPath(const CPrivateEnvironment& env) {
    return env.Dir() + "/record.jsonl";
}

}  // namespace

std::string CCall::Field(const std::string& name) const {
    const std::string key = "\"" + name + "\":";
    const size_t found = line.find(key);
    if (found == std::string::npos) {
        return {};
    }
    size_t i = found + key.size();
    std::string value;
    if (i < line.size() && line[i] == '"') {
        for (++i; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                ++i;
            }
            value += line[i];
        }
        return value;
    }
    while (i < line.size() && line[i] != ',' && line[i] != '}') {
        value += line[i++];
    }
    return value;
}

double CCall::Number(const std::string& name) const {
    const std::string text = Field(name);
    if (text == "NaN") {
        return std::nan("");
    }
    return std::strtod(text.c_str(), nullptr);
}

std::string CRow::Text(size_t column) const {
    return column >= 1 && column <= texts.size() ? texts[column - 1] : std::string();
}

size_t CHostRun::Find(const std::string& call, int n, const std::string& symbol) const {
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].call == call && (symbol.empty() || calls[i].Field("symbol") == symbol) &&
            n-- == 0) {
            return i;
        }
    }
    return kNone;
}

std::vector<CRow> CHostRun::Rows(const std::string& symbol, const std::string& interval,
                                 size_t from, size_t to, bool streamedOnly) const {
    std::vector<CRow> found;
    for (const CRow& row : rows) {
        if (row.symbol == symbol && (interval.empty() || row.interval == interval) &&
            (from == kNone || row.call > from) && row.call < to && !(streamedOnly && row.history)) {
            found.push_back(row);
        }
    }
    return found;
}

std::vector<std::string> RecordOptions(const CPrivateEnvironment& env) {
    return {"-q", "--record", RecordPath(env)};
}

pid_t StartHost(const CPrivateEnvironment& env, const std::vector<std::string>& commands,
                const std::vector<std::string>& options) {
    const std::string script = env.Dir() + "/commands.txt";
    std::ofstream out(script);
    for (const std::string& command : commands) {
        out << command << "\n";
    }
    out.close();
    const CPrograms& programs = env.Programs();
    if (programs.windows && !env.WindowsSettingsFile().empty()) {
        // The settings go into the emulator's registry first.
        std::vector<std::string> import = programs.hostPrefix;
        import.insert(import.end(),
                      {"regedit.exe", "/S", HostPath(programs, env.WindowsSettingsFile())});
        WaitExit(Spawn(import, env.Dir() + "/regedit.out"), 120 * 1000);
    }
    std::vector<std::string> argv = programs.hostPrefix;
    argv.push_back(programs.host);
    for (const std::string& option : options) {
        argv.push_back(HostPath(programs, option));
    }
    argv.insert(argv.end(), {"--script", HostPath(programs, script), programs.plugin});
    return Spawn(argv, env.Dir() + "/host.out");
}

pid_t StartBesideHost(const CPrivateEnvironment& env, const std::string& program,
                      const std::vector<std::string>& args, const std::string& outputPath) {
    const CPrograms& programs = env.Programs();
    std::vector<std::string> argv = programs.hostPrefix;
    argv.push_back(programs.host.substr(0, programs.host.find_last_of('/') + 1) + program);
    argv.insert(argv.end(), args.begin(), args.end());
    return Spawn(argv, outputPath);
}

CHostRun RunHost(const CPrivateEnvironment& env, const std::vector<std::string>& commands,
                 int timeoutSeconds, const std::vector<std::string>& extraOptions) {
    std::vector<std::string> options = RecordOptions(env);
    options.insert(options.end(), extraOptions.begin(), extraOptions.end());
    const auto begin = std::chrono::steady_clock::now();
    const int status = WaitExit(StartHost(env, commands, options), timeoutSeconds * 1000);
    CHostRun run = ReadHostRun(env, status);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    return run;
}

CHostRun ReadHostRun(const CPrivateEnvironment& env, int status) {
    CHostRun run;
    run.status = status;
    std::ifstream record(RecordPath(env));
    // Rows under construction by series; the series whose row is open.
    std::map<std::pair<std::string, std::string>, CRow> building;
    std::pair<std::string, std::string> open;
    bool inRequest = false;
    for (std::string line; std::getline(record, line);) {
        CCall call;
        call.line = line;
        call.call = call.Field("call");
        const size_t index = run.calls.size();
        if (call.call == "NSTSETUPDATA") {
            inRequest = true;
        } else if (call.call == "NSTSETVALUE" || call.call == "NSTCOMMITROW") {
            const std::pair<std::string, std::string> series{call.Field("symbol"),
                                                             call.Field("interval")};
            CRow& row = building[series];
            if (!open.first.empty() && open != series) {
                run.rowsWellFormed = false;
            }
            if (call.call == "NSTSETVALUE") {
                open = series;
                if (std::atoi(call.Field("column").c_str()) !=
                    static_cast<int>(row.values.size()) + 1) {
                    run.rowsWellFormed = false;
                }
                row.values.push_back(call.Number("value"));
                row.texts.push_back(call.Field("value"));
            } else {
                row.symbol = series.first;
                row.interval = series.second;
                row.call = index;
                row.history = inRequest;
                row.requestsBefore = static_cast<int>(run.requestResults.size());
                run.rows.push_back(std::move(row));
                row = CRow();
                open = {};
            }
        } else if (call.call == "UpdatePercent") {
            run.percents.push_back(std::atoi(call.Field("percent").c_str()));
        } else if (call.call == "MessageBox") {
            run.boxes.push_back(call.Field("text"));
        } else if (call.call == "RequestTicker") {
            inRequest = false;
            run.requestResults.push_back(std::atoi(call.Field("result").c_str()));
        } else if (call.call == "UserIDPasswordChanged") {
            run.credentialResults.push_back(std::atoi(call.Field("result").c_str()));
        }
        run.calls.push_back(std::move(call));
    }
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::directory_iterator(env.HostRoot(), ignored)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("OrvellaForNST", 0) == 0 && entry.path().extension() == ".log") {
            run.log += ReadWholeFile(entry.path().string());
        }
    }
    return run;
}

bool IsSubsequence(const std::vector<CRow>& a, const std::vector<CRow>& b) {
    size_t j = 0;
    for (const CRow& row : a) {
        while (j < b.size() && !(b[j].symbol == row.symbol && b[j].interval == row.interval &&
                                 b[j].values == row.values)) {
            ++j;
        }
        if (j == b.size()) {
            return false;
        }
        ++j;
    }
    return true;
}

}  // namespace orvella::testing
