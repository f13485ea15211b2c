// The launcher's command line: exactly the four options
//   -product P -version V -login U -password W
// in any order, each once, each value one argument taken as it is (it may
// contain blanks or start with '-'). Login and password must not be empty.
#pragma once

#include <string>
#include <vector>

namespace feedsim {

struct CLauncherArgs {
    std::string product, version, login, password;
    bool help = false;  // "--help" or "-help" alone
    bool stop = false;  // "--stop" or "-stop" alone
};

// Parses argv[1..]. On failure returns false with a one-line message.
bool ParseLauncherArgs(const std::vector<std::string>& args, CLauncherArgs* out,
                       std::string* error);

// Splits the extra simulator options (environment ORVELLA_FEED_SIM_ARGS) at
// blanks and tabs; there is no quoting. Null gives none.
std::vector<std::string> SplitSimArgs(const char* text);

// The admin port those options select (the last --admin-port), else 9300.
int AdminPortOf(const std::vector<std::string>& simArgs);

}  // namespace feedsim
