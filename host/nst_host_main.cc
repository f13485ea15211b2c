// nst-host: the stand-in charting host. Loads a data-pump plug-in, drives its
// exports from commands and records every call between the two.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/option_parser.h"
#include "host/call_recorder.h"
#include "host/chart_page.h"
#include "host/feed_store.h"
#include "host/host_session.h"
#include "host/script.h"
#include "host/summary.h"
#include "platform/message_box.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitLoad = 2;

const char kUsage[] =
    "usage: nst-host [OPTIONS] PLUGIN\n"
    "Loads the data-pump plug-in PLUGIN (a shared library) and drives it.\n"
    "\n"
    "  -c, --command CMD    run one command; may be repeated\n"
    "  -s, --script FILE    run the commands in FILE, one per line ('-': stdin)\n"
    "                       (-c and --script run in the order given)\n"
    "      --record FILE    record every call as JSON lines ('-': stdout)\n"
    "      --record-symbol SYM  record the series calls of SYM only\n"
    "      --count-only     keep per-series counts, not rows\n"
    "      --user U         user ID that GetUserIDPassword answers\n"
    "      --password P     password that GetUserIDPassword answers\n"
    "      --chart-dir DIR  write one SVG chart per series and index.html at exit\n"
    "  -q, --quiet          no summary at exit\n"
    "  -h, --help           this text\n"
    "      --version        the program's version\n"
    "\n"
    "Commands:\n"
    "  credentials USER PASSWORD\n"
    "  request SYMBOL INTERVAL START [DESCRIPTION [CATEGORY [COLUMNS]]]\n"
    "          START: YYYY-MM-DD, YYYY-MM-DDTHH:MM:SS or a day count;\n"
    "          COLUMNS default Date,Open,High,Low,Close,Volume\n"
    "  remove SYMBOL INTERVAL\n"
    "  pump SECONDS\n"
    "  unload\n"
    "  load [PATH]\n"
    "Blanks separate arguments; \"double quotes\" hold blanks or an empty one.\n"
    "Exit status: 0 done, 1 bad usage, script line or command, 2 plug-in not loaded\n"
    "or an unknown option.\n";

// One command with where it came from, for messages.
struct SourcedCommand {
    nsthost::ScriptCommand command;
    std::string where;  // "FILE:LINE" or "-c #N"
};

struct Options {
    std::string plugin;
    std::string record;
    std::string recordSymbol;
    std::string chartDir;
    std::string user;
    std::string password;
    bool countOnly = false;
    bool quiet = false;
    std::vector<SourcedCommand> commands;
};

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "nst-host: %s\n", message.c_str());
    return code;
}

// Parses one line into the list; false (message printed) when malformed.
bool AddLine(const std::string& line, const std::string& where, Options* options) {
    nsthost::ScriptCommand command;
    std::string error;
    switch (nsthost::ParseScriptLine(line, &command, &error)) {
        case nsthost::LineResult::kEmpty:
            return true;
        case nsthost::LineResult::kCommand:
            options->commands.push_back({std::move(command), where});
            return true;
        case nsthost::LineResult::kMalformed:
            break;
    }
    Fail(kExitUsage, where + ": " + error);
    return false;
}

bool AddScript(const std::string& path, Options* options) {
    std::ifstream file;
    std::istream* in = &std::cin;
    if (path != "-") {
        file.open(path, std::ios::binary);
        if (!file) {
            Fail(kExitUsage, "cannot read script " + path);
            return false;
        }
        in = &file;
    }
    std::string line;
    for (int number = 1; std::getline(*in, line); ++number) {
        if (!AddLine(line, path + ":" + std::to_string(number), options)) {
            return false;
        }
    }
    return true;
}

// Returns -1 when the options are fine, else the exit status.
int ParseOptions(int argc, char** argv, Options* options) {
    using orvella::cli::COptionFault;
    const orvella::cli::CProgram program{"nst-host", kUsage};
    int commandNumber = 0;
    auto text = [](std::string* target) {
        return [target](const std::string& value) {
            *target = value;
            return true;
        };
    };
    orvella::cli::COptionParser parser;
    parser.StopAt({"--help", "-h", "--version"})
        .Value({"-c", "--command"},
               [&](const std::string& value) {
                   return AddLine(value, "-c #" + std::to_string(++commandNumber), options);
               })
        .Value({"-s", "--script"},
               [&](const std::string& value) { return AddScript(value, options); })
        .Value({"--record"}, text(&options->record))
        .Value({"--record-symbol"}, text(&options->recordSymbol))
        .Value({"--chart-dir"}, text(&options->chartDir))
        .Value({"--user"}, text(&options->user))
        .Value({"--password"}, text(&options->password))
        .Flag({"--count-only"}, &options->countOnly)
        .Flag({"-q", "--quiet"}, &options->quiet)
        .Operands([&](const std::string& arg) {
            if (!options->plugin.empty()) {
                Fail(kExitUsage, "more than one plug-in given: " + arg);
                return false;
            }
            options->plugin = arg;
            return true;
        });
    COptionFault fault;
    std::string stoppedAt;
    if (!parser.Parse(parser.Arguments(argc, argv), &fault, &stoppedAt)) {
        switch (fault.kind) {
            case COptionFault::kUnknownOption:
                return orvella::cli::RefuseOption(program, fault.option);
            case COptionFault::kMissingValue:
                return Fail(kExitUsage, fault.option + " needs a value");
            default:
                // The value's own check has said why.
                return kExitUsage;
        }
    }
    if (!stoppedAt.empty()) {
        return orvella::cli::AnswerStandardOption(program, stoppedAt);
    }
    if (options->plugin.empty()) {
        return Fail(kExitUsage, "no plug-in given (see --help)");
    }
    return -1;
}

void ObserveMessageBox(const std::wstring& caption, const std::wstring& text, unsigned flags,
                       void* context) {
    if (context != nullptr) {
        static_cast<nsthost::CCallRecorder*>(context)->RecordMessageBox(caption, text, flags);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const int parsed = ParseOptions(argc, argv, &options);
    if (parsed >= 0) {
        return parsed;
    }

    nsthost::CCallRecorder recorder;
    std::string error;
    if (!options.record.empty() && !recorder.Open(options.record, &error)) {
        return Fail(kExitUsage, error);
    }
    recorder.RecordOnlySymbol(options.recordSymbol);
    nsthost::CFeedStore& store = nsthost::FeedStore();
    store.SetCredentials(options.user, options.password);
    store.SetKeepRows(!options.countOnly);
    nsthost::CCallRecorder* record = recorder.IsOpen() ? &recorder : nullptr;
    store.SetObserver(record);
    platform::SetMessageBoxObserver(ObserveMessageBox, record);

    int status = kExitOk;
    nsthost::CHostSession session(record, options.plugin);
    if (!session.Load(options.plugin, &error)) {
        status = Fail(kExitLoad, error);
    } else {
        session.DrainMessages();
        for (const SourcedCommand& sourced : options.commands) {
            if (session.QuitRequested()) {
                std::fprintf(stderr, "nst-host: quit message received; %s and later not run\n",
                             sourced.where.c_str());
                break;
            }
            const nsthost::RunResult result = session.Run(sourced.command, &error);
            if (result != nsthost::RunResult::kOk) {
                status = Fail(result == nsthost::RunResult::kLoadFailed ? kExitLoad : kExitUsage,
                              sourced.where + ": " + error);
                break;
            }
        }
        session.Unload();
    }
    platform::SetMessageBoxObserver(nullptr, nullptr);
    store.SetObserver(nullptr);

    if (!options.chartDir.empty() && !nsthost::WriteCharts(store, options.chartDir, &error)) {
        const int failed = Fail(kExitUsage, error);
        status = status != kExitOk ? status : failed;
    }
    if (!options.quiet && status != kExitLoad) {
        // The summary must not mix into a record written to standard output.
        std::fputs(nsthost::SummaryText(store).c_str(),
                   recorder.WritesToStdout() ? stderr : stdout);
    }
    return status;
}
