#include "host/script.h"

#include <charconv>

#include "host/day_count.h"

namespace nsthost {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Longest pump a script may ask for, in seconds (one day).
constexpr double kMaxPumpSeconds = 86400.0;

bool ParseSeconds(std::string_view text, double* seconds) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || !(value >= 0.0) ||
        value > kMaxPumpSeconds) {
        return false;
    }
    *seconds = value;
    return true;
}

bool CheckCount(const std::vector<std::string>& args, size_t least, size_t most,
                std::string_view usage, std::string* error) {
    const size_t given = args.size() - 1;
    if (given < least || given > most) {
        *error = "wrong number of arguments; usage: " + std::string(usage);
        return false;
    }
    return true;
}

}  // namespace

bool SplitArguments(std::string_view line, std::vector<std::string>* args, std::string* error) {
    args->clear();
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) {
            ++i;
        }
        if (i == line.size()) {
            break;
        }
        std::string arg;
        bool quoted = false;
        for (; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
            const char c = line[i];
            if (c == '"') {
                quoted = !quoted;
            } else if (quoted && c == '\\' && i + 1 < line.size() &&
                       (line[i + 1] == '"' || line[i + 1] == '\\')) {
                arg.push_back(line[++i]);
            } else {
                arg.push_back(c);
            }
        }
        if (quoted) {
            *error = "unterminated quote";
            return false;
        }
        args->push_back(std::move(arg));
    }
    return true;
}

bool ParseInterval(std::string_view text, float* interval) {
    float value = 0.0f;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        return false;
    }
    *interval = value;
    return true;
}

LineResult ParseScriptLine(std::string_view line, ScriptCommand* command, std::string* error) {
    size_t first = 0;
    while (first < line.size() && IsBlank(line[first])) {
        ++first;
    }
    if (first == line.size() || line[first] == '#') {
        return LineResult::kEmpty;
    }
    std::vector<std::string> args;
    if (!SplitArguments(line, &args, error)) {
        return LineResult::kMalformed;
    }
    ScriptCommand cmd;
    const std::string& verb = args[0];
    if (verb == "credentials") {
        if (!CheckCount(args, 2, 2, "credentials USER PASSWORD", error)) {
            return LineResult::kMalformed;
        }
        cmd.kind = CommandKind::kCredentials;
        cmd.user = args[1];
        cmd.password = args[2];
    } else if (verb == "request") {
        if (!CheckCount(args, 3, 6,
                        "request SYMBOL INTERVAL START [DESCRIPTION [CATEGORY [COLUMNS]]]",
                        error)) {
            return LineResult::kMalformed;
        }
        cmd.kind = CommandKind::kRequest;
        cmd.symbol = args[1];
        if (!ParseInterval(args[2], &cmd.interval)) {
            *error = "bad interval '" + args[2] + "'";
            return LineResult::kMalformed;
        }
        if (!ParseDayCount(args[3], &cmd.start)) {
            *error = "bad start '" + args[3] + "' (YYYY-MM-DD, YYYY-MM-DDTHH:MM:SS or a day count)";
            return LineResult::kMalformed;
        }
        if (args.size() > 4) {
            cmd.description = args[4];
        }
        if (args.size() > 5) {
            cmd.category = args[5];
        }
        if (args.size() > 6) {
            cmd.columns = args[6];
        }
    } else if (verb == "remove") {
        if (!CheckCount(args, 2, 2, "remove SYMBOL INTERVAL", error)) {
            return LineResult::kMalformed;
        }
        cmd.kind = CommandKind::kRemove;
        cmd.symbol = args[1];
        if (!ParseInterval(args[2], &cmd.interval)) {
            *error = "bad interval '" + args[2] + "'";
            return LineResult::kMalformed;
        }
    } else if (verb == "pump") {
        if (!CheckCount(args, 1, 1, "pump SECONDS", error)) {
            return LineResult::kMalformed;
        }
        cmd.kind = CommandKind::kPump;
        if (!ParseSeconds(args[1], &cmd.seconds)) {
            *error = "bad seconds '" + args[1] + "'";
            return LineResult::kMalformed;
        }
    } else if (verb == "unload") {
        if (!CheckCount(args, 0, 0, "unload", error)) {
            return LineResult::kMalformed;
        }
        cmd.kind = CommandKind::kUnload;
    } else if (verb == "load") {
        if (!CheckCount(args, 0, 1, "load [PATH]", error)) {
            return LineResult::kMalformed;
        }
        cmd.kind = CommandKind::kLoad;
        if (args.size() > 1) {
            cmd.path = args[1];
        }
    } else {
        *error = "unknown command '" + verb + "'";
        return LineResult::kMalformed;
    }
    *command = std::move(cmd);
    return LineResult::kCommand;
}

}  // namespace nsthost
