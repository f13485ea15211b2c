#include "feedsim/launcher_args.h"

#include <charconv>

#include "cli/option_parser.h"

namespace feedsim {

bool ParseLauncherArgs(const std::vector<std::string>& args, CLauncherArgs* out,
                       std::string* error) {
    *out = CLauncherArgs();
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-help")) {
        out->help = true;
        return true;
    }
    if (args.size() == 1 && (args[0] == "--stop" || args[0] == "-stop")) {
        out->stop = true;
        return true;
    }
    struct Slot {
        const char* name;
        std::string* value;
        bool seen;
    } slots[] = {{"-product", &out->product, false},
                 {"-version", &out->version, false},
                 {"-login", &out->login, false},
                 {"-password", &out->password, false}};
    orvella::cli::COptionParser parser;
    for (Slot& slot : slots) {
        parser.Value({slot.name}, [&slot](const std::string& value) {
            if (slot.seen) {
                return false;
            }
            slot.seen = true;
            *slot.value = value;
            return true;
        });
    }
    orvella::cli::COptionFault fault;
    if (!parser.Parse(args, &fault)) {
        const Slot* slot = nullptr;
        for (const Slot& s : slots) {
            if (fault.option == s.name) {
                slot = &s;
            }
        }
        if (slot == nullptr) {
            *error = "unexpected argument '" + fault.option + "'";
        } else if (slot->seen) {
            *error = std::string("option ") + slot->name + " given twice";
        } else {
            *error = std::string("option ") + slot->name + " needs a value";
        }
        return false;
    }
    for (const Slot& s : slots) {
        if (!s.seen) {
            *error = std::string("option ") + s.name + " is missing";
            return false;
        }
    }
    if (out->login.empty()) {
        *error = "the login is empty";
        return false;
    }
    if (out->password.empty()) {
        *error = "the password is empty";
        return false;
    }
    return true;
}

std::vector<std::string> SplitSimArgs(const char* text) {
    std::vector<std::string> args;
    if (text == nullptr) {
        return args;
    }
    std::string current;
    for (const char* p = text;; ++p) {
        if (*p == '\0' || *p == ' ' || *p == '\t' || *p == '\n') {
            if (!current.empty()) {
                args.push_back(current);
                current.clear();
            }
            if (*p == '\0') {
                return args;
            }
        } else {
            current.push_back(*p);
        }
    }
}

int AdminPortOf(const std::vector<std::string>& simArgs) {
    int port = 9300;
    for (size_t i = 0; i + 1 < simArgs.size(); ++i) {
        int value = 0;
        const std::string& v = simArgs[i + 1];
        const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
        if (simArgs[i] == "--admin-port" && ec == std::errc() && ptr == v.data() + v.size()) {
            port = value;
        }
    }
    return port;
}

}  // namespace feedsim
