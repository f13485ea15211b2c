// One reader for the programs' option tables: flags, options whose value is
// the next argument, operands, and names that end the reading (such as
// "--help", answered with cli/command_line.h). It reads the arguments in
// order and stops at the first fault, which it describes rather than prints,
// so that each program keeps its own messages. Pure logic.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvella::cli {

// Why a reading stopped short.
struct COptionFault {
    enum Kind { kNone, kUnknownOption, kMissingValue, kBadValue };
    Kind kind = kNone;
    std::string option;  // the argument as given
    std::string value;   // kBadValue: the value refused
};

class COptionParser {
  public:
    // Takes a value (or an operand); false refuses it.
    using Setter = std::function<bool(const std::string&)>;

    // Each of names (such as "-q" and "--quiet") sets *target.
    COptionParser& Flag(std::initializer_list<const char*> names, bool* target) {
        for (const char* name : names) {
            m_flags.emplace_back(name, target);
        }
        return *this;
    }
    // Each of names takes the next argument as its value, whatever it looks
    // like.
    COptionParser& Value(std::initializer_list<const char*> names, const Setter& set) {
        for (const char* name : names) {
            m_values.emplace_back(name, set);
        }
        return *this;
    }
    // Each of names ends the reading at once; Parse reports which one.
    COptionParser& StopAt(std::initializer_list<const char*> names) {
        m_stops.insert(m_stops.end(), names.begin(), names.end());
        return *this;
    }
    // Arguments that are no option ("-" alone is one) go to set. Without
    // operands every argument outside the table is an unknown option.
    COptionParser& Operands(const Setter& set) {
        m_operands = set;
        return *this;
    }

    // Reads args in order. True when all were read or a StopAt name came
    // (then in *stoppedAt, else left empty); false with *fault at the first
    // argument that could not be taken.
    bool Parse(const std::vector<std::string>& args, COptionFault* fault,
               std::string* stoppedAt = nullptr) const {
        *fault = COptionFault();
        for (size_t i = 0; i < args.size(); ++i) {
            const std::string& arg = args[i];
            if (Find(m_stops, arg)) {
                if (stoppedAt != nullptr) {
                    *stoppedAt = arg;
                }
                return true;
            }
            if (bool* const* flag = Find(m_flags, arg)) {
                **flag = true;
                continue;
            }
            if (const Setter* set = Find(m_values, arg)) {
                if (i + 1 >= args.size()) {
                    *fault = {COptionFault::kMissingValue, arg, ""};
                    return false;
                }
                if (!(*set)(args[++i])) {
                    *fault = {COptionFault::kBadValue, arg, args[i]};
                    return false;
                }
                continue;
            }
            const bool option = arg.size() > 1 && arg[0] == '-';
            if (option || !m_operands) {
                *fault = {COptionFault::kUnknownOption, arg, ""};
                return false;
            }
            if (!m_operands(arg)) {
                *fault = {COptionFault::kBadValue, "", arg};
                return false;
            }
        }
        return true;
    }

    // For a main: the arguments after the program's name.
    static std::vector<std::string> Arguments(int argc, char** argv) {
        return std::vector<std::string>(argv + 1, argv + argc);
    }

  private:
    template <typename T>
    static const T* Find(const std::vector<std::pair<std::string, T>>& table,
                         std::string_view name) {
        for (const auto& [key, entry] : table) {
            if (key == name) {
                return &entry;
            }
        }
        return nullptr;
    }
    static bool Find(const std::vector<std::string>& names, std::string_view name) {
        for (const std::string& key : names) {
            if (key == name) {
                return true;
            }
        }
        return false;
    }

    std::vector<std::pair<std::string, bool*>> m_flags;
    std::vector<std::pair<std::string, Setter>> m_values;
    std::vector<std::string> m_stops;
    Setter m_operands;
};

}  // namespace orvella::cli
