// The command language of nst-host: one command per line, arguments
// separated by blanks (spaces or tabs). Double quotes group an argument that
// holds blanks or is empty; inside quotes \" stands for a quote and \\ for a
// backslash. A line that is blank or begins with '#' holds no command.
// Pure functions, no I/O.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nsthost {

enum class CommandKind {
    kCredentials,  // credentials USER PASSWORD
    kRequest,      // request SYMBOL INTERVAL START [DESCRIPTION [CATEGORY [COLUMNS]]]
    kRemove,       // remove SYMBOL INTERVAL
    kPump,         // pump SECONDS
    kUnload,       // unload
    kLoad,         // load [PATH]
};

inline constexpr std::string_view kDefaultColumns = "Date,Open,High,Low,Close,Volume";

struct ScriptCommand {
    CommandKind kind = CommandKind::kPump;
    std::string symbol;
    std::string description;
    std::string category;
    std::string columns{kDefaultColumns};
    std::string user;
    std::string password;
    std::string path;  // load: empty means the plug-in given on the command line
    float interval = 0.0f;
    double start = 0.0;
    double seconds = 0.0;
};

// Cuts a line into its arguments. Returns false and sets *error when a quote
// is not closed.
bool SplitArguments(std::string_view line, std::vector<std::string>* args, std::string* error);

enum class LineResult { kEmpty, kCommand, kMalformed };

// Parses one line. kCommand fills *command; kMalformed sets *error to a short
// description (without the line number, which the caller knows).
LineResult ParseScriptLine(std::string_view line, ScriptCommand* command, std::string* error);

// Reads a bar interval: a decimal 32-bit float ("5", "0.5", "-0.0").
bool ParseInterval(std::string_view text, float* interval);

}  // namespace nsthost
