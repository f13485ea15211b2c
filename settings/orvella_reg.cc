// orvella-reg: reads and edits the current user's registry from the command
// line, in the manner of the platform's own registry tool.
//
//   orvella-reg query  KEY [/v NAME | /ve]
//   orvella-reg add    KEY [/v NAME | /ve] [/t REG_SZ|REG_EXPAND_SZ|REG_DWORD] [/d DATA] [/f]
//   orvella-reg delete KEY [/v NAME | /ve] [/f]
//
// KEY is HKCU or HKEY_CURRENT_USER, optionally followed by a backslash and a
// key path. Text is 8-bit (the system's code page). Exit status 0 on success,
// 1 on any error, 2 for an unknown option; --help and --version print and
// exit 0.
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "settings/reg_text.h"

namespace orvella {
namespace {

constexpr char kUsage[] =
    "Usage:\n"
    "  orvella-reg query  KEY [/v NAME | /ve]\n"
    "  orvella-reg add    KEY [/v NAME | /ve] [/t REG_SZ|REG_EXPAND_SZ|REG_DWORD] [/d DATA] [/f]\n"
    "  orvella-reg delete KEY [/v NAME | /ve] [/f]\n"
    "  orvella-reg --help | --version\n"
    "KEY is HKCU or HKEY_CURRENT_USER, optionally followed by \\ and a key path,\n"
    "for example HKCU\\Software\\Corvan\\Orvella\\OrvellaForNST.\n";

constexpr char kNotFound[] = "The system was unable to find the specified registry key or value.";

struct Command {
    std::string verb;
    std::string keyText;  // as given, for the output
    std::wstring keyPath;
    std::optional<std::wstring> valueName;  // "" for /ve
    uint32_t type = platform::kRegSz;
    std::string data;
    bool force = false;
};

int Fail(const std::string& message) {
    std::cerr << "ERROR: " << message << "\n";
    return 1;
}

// Splits "HKCU\path" into its key path; false for another root.
bool ParseKey(const std::string& text, std::wstring* keyPath) {
    const size_t slash = text.find('\\');
    const std::string_view root = std::string_view(text).substr(0, slash);
    if (!platform::EqualsIgnoringCase(root, "HKCU") &&
        !platform::EqualsIgnoringCase(root, "HKEY_CURRENT_USER")) {
        return false;
    }
    *keyPath = slash == std::string::npos ? L"" : platform::WidenText(text.substr(slash + 1));
    return true;
}

std::optional<uint32_t> ParseType(std::string_view text) {
    if (platform::EqualsIgnoringCase(text, "REG_SZ"))
        return platform::kRegSz;
    if (platform::EqualsIgnoringCase(text, "REG_EXPAND_SZ"))
        return platform::kRegExpandSz;
    if (platform::EqualsIgnoringCase(text, "REG_DWORD"))
        return platform::kRegDword;
    return std::nullopt;
}

const char* TypeName(uint32_t type) {
    switch (type) {
        case platform::kRegSz:
            return "REG_SZ";
        case platform::kRegExpandSz:
            return "REG_EXPAND_SZ";
        case platform::kRegBinary:
            return "REG_BINARY";
        case platform::kRegDword:
            return "REG_DWORD";
        default:
            return "REG_NONE";
    }
}

// A DWORD given in decimal or with a 0x prefix in hexadecimal.
std::optional<uint32_t> ParseDword(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
                              std::string::npos) {
        return std::nullopt;
    }
    errno = 0;
    const unsigned long long value = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
    if (errno == ERANGE || value > UINT32_MAX)
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

// Parses the arguments after the program name; on failure writes the reason
// to *error.
bool ParseCommand(int argc, char** argv, Command* command, std::string* error) {
    if (argc < 2) {
        *error = "A command is needed: query, add or delete.";
        return false;
    }
    command->verb = argv[1];
    for (char& c : command->verb)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (command->verb != "query" && command->verb != "add" && command->verb != "delete") {
        *error = "Unknown command \"" + std::string(argv[1]) + "\".";
        return false;
    }
    if (argc < 3) {
        *error = "A key is needed.";
        return false;
    }
    command->keyText = argv[2];
    if (!ParseKey(command->keyText, &command->keyPath)) {
        *error = "Invalid key name \"" + command->keyText + "\"; only HKCU is stored.";
        return false;
    }
    bool typeGiven = false;
    bool dataGiven = false;
    for (int i = 3; i < argc; ++i) {
        const std::string_view option = argv[i];
        const bool needsArgument = platform::EqualsIgnoringCase(option, "/v") ||
                                   platform::EqualsIgnoringCase(option, "/t") ||
                                   platform::EqualsIgnoringCase(option, "/d");
        if (needsArgument && i + 1 >= argc) {
            *error = "Option " + std::string(option) + " needs a value.";
            return false;
        }
        if (platform::EqualsIgnoringCase(option, "/v") ||
            platform::EqualsIgnoringCase(option, "/ve")) {
            if (command->valueName) {
                *error = "Give only one of /v and /ve.";
                return false;
            }
            command->valueName = option.size() == 3 ? L"" : platform::WidenText(argv[++i]);
        } else if (platform::EqualsIgnoringCase(option, "/t") && command->verb == "add") {
            const std::optional<uint32_t> type = ParseType(argv[++i]);
            if (!type) {
                *error = "Unsupported type \"" + std::string(argv[i]) +
                         "\"; use REG_SZ, REG_EXPAND_SZ or REG_DWORD.";
                return false;
            }
            command->type = *type;
            typeGiven = true;
        } else if (platform::EqualsIgnoringCase(option, "/d") && command->verb == "add") {
            command->data = argv[++i];
            dataGiven = true;
        } else if (platform::EqualsIgnoringCase(option, "/f") && command->verb != "query") {
            command->force = true;
        } else {
            *error = "Invalid option \"" + std::string(option) + "\" for " + command->verb + ".";
            return false;
        }
    }
    if ((typeGiven || dataGiven) && !command->valueName) {
        *error = "/t and /d need /v or /ve.";
        return false;
    }
    if (command->type == platform::kRegDword && !ParseDword(command->data)) {
        *error = "Invalid REG_DWORD data \"" + command->data +
                 "\"; give a number from 0 to 4294967295 (or 0x0 to 0xFFFFFFFF).";
        return false;
    }
    return true;
}

std::string DisplayName(const std::wstring& name) {
    return name.empty() ? "(Default)" : platform::NarrowText(name);
}

std::string FormatData(uint32_t type, const std::vector<uint8_t>& data) {
    if (type == platform::kRegSz || type == platform::kRegExpandSz) {
        return platform::NarrowText(DecodeRegText(data.data(), data.size()));
    }
    if (type == platform::kRegDword && data.size() == 4) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%x",
                      data[0] | (data[1] << 8) | (data[2] << 16) | (uint32_t{data[3]} << 24));
        return text;
    }
    std::string hex;
    for (uint8_t byte : data) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", byte);
        hex += digits;
    }
    return hex;
}

void PrintValue(const platform::RegValueInfo& value) {
    std::cout << "    " << DisplayName(value.name) << "    " << TypeName(value.type) << "    "
              << FormatData(value.type, value.data) << "\n";
}

std::string FullKeyName(const Command& command) {
    std::string path = platform::NarrowText(command.keyPath);
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path.empty() ? "HKEY_CURRENT_USER" : "HKEY_CURRENT_USER\\" + path;
}

int ReportStoreError(long rc) {
    if (rc == platform::kRegFileNotFound)
        return Fail(kNotFound);
    if (rc == platform::kRegBadDatabase)
        return Fail("The settings store cannot be used.");
    if (rc == platform::kRegAccessDenied)
        return Fail("Access is denied.");
    return Fail("The registry call failed (" + std::to_string(rc) + ").");
}

bool Confirm(const std::string& question) {
    std::cout << question << " (Yes/No)? " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    return platform::EqualsIgnoringCase(answer, "y") || platform::EqualsIgnoringCase(answer, "yes");
}

// Closes the key when the command ends.
struct KeyCloser {
    platform::RegKey* key = nullptr;
    ~KeyCloser() {
        if (key)
            platform::RegCloseKey(key);
    }
};

int Query(const Command& command) {
    KeyCloser open;
    if (long rc = platform::RegOpenKey(platform::Hive::kCurrentUser, command.keyPath,
                                       platform::kKeyRead, &open.key);
        rc != platform::kRegSuccess) {
        return ReportStoreError(rc);
    }
    const std::string keyName = FullKeyName(command);
    if (command.valueName) {
        platform::RegValueInfo value;
        value.name = *command.valueName;
        uint32_t size = 0;
        long rc = platform::RegQueryValue(open.key, value.name, &value.type, nullptr, &size);
        value.data.resize(size);
        if (rc == platform::kRegSuccess) {
            rc = platform::RegQueryValue(open.key, value.name, nullptr, value.data.data(), &size);
        }
        if (rc != platform::kRegSuccess)
            return ReportStoreError(rc);
        std::cout << "\n" << keyName << "\n";
        PrintValue(value);
        std::cout << "\n";
        return 0;
    }
    std::vector<platform::RegValueInfo> values;
    if (long rc = platform::RegEnumValues(open.key, &values); rc != platform::kRegSuccess) {
        return ReportStoreError(rc);
    }
    std::vector<std::wstring> subkeys;
    if (long rc = platform::RegEnumSubkeys(open.key, &subkeys); rc != platform::kRegSuccess) {
        return ReportStoreError(rc);
    }
    std::cout << "\n" << keyName << "\n";
    for (const platform::RegValueInfo& value : values)
        PrintValue(value);
    std::cout << "\n";
    for (const std::wstring& subkey : subkeys) {
        std::cout << keyName << "\\" << platform::NarrowText(subkey) << "\n";
    }
    return 0;
}

int Add(const Command& command) {
    KeyCloser open;
    if (long rc = platform::RegCreateKey(platform::Hive::kCurrentUser, command.keyPath,
                                         platform::kKeyAllAccess, &open.key);
        rc != platform::kRegSuccess) {
        return ReportStoreError(rc);
    }
    if (command.valueName) {
        const std::wstring& name = *command.valueName;
        if (!command.force && platform::RegQueryValue(open.key, name, nullptr, nullptr, nullptr) ==
                                  platform::kRegSuccess) {
            if (!Confirm("Value " + DisplayName(name) + " exists, overwrite")) {
                std::cout << "The operation was cancelled.\n";
                return 1;
            }
        }
        std::vector<uint8_t> data;
        if (command.type == platform::kRegDword) {
            const uint32_t number = *ParseDword(command.data);
            data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                    static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
        } else {
            data = EncodeRegText(platform::WidenText(command.data));
        }
        if (long rc = platform::RegSetValue(open.key, name, command.type, data.data(),
                                            static_cast<uint32_t>(data.size()));
            rc != platform::kRegSuccess) {
            return ReportStoreError(rc);
        }
    }
    std::cout << "The operation completed successfully.\n";
    return 0;
}

int Delete(const Command& command) {
    if (!command.valueName) {
        if (!command.force &&
            !Confirm("Permanently delete the registry key " + FullKeyName(command))) {
            std::cout << "The operation was cancelled.\n";
            return 1;
        }
        if (long rc = platform::RegDeleteTree(platform::Hive::kCurrentUser, command.keyPath);
            rc != platform::kRegSuccess) {
            return ReportStoreError(rc);
        }
        std::cout << "The operation completed successfully.\n";
        return 0;
    }
    KeyCloser open;
    if (long rc = platform::RegOpenKey(platform::Hive::kCurrentUser, command.keyPath,
                                       platform::kKeyAllAccess, &open.key);
        rc != platform::kRegSuccess) {
        return ReportStoreError(rc);
    }
    const std::wstring& name = *command.valueName;
    if (platform::RegQueryValue(open.key, name, nullptr, nullptr, nullptr) !=
        platform::kRegSuccess) {
        return ReportStoreError(platform::kRegFileNotFound);
    }
    if (!command.force && !Confirm("Delete the registry value " + DisplayName(name))) {
        std::cout << "The operation was cancelled.\n";
        return 1;
    }
    if (long rc = platform::RegDeleteValue(open.key, name); rc != platform::kRegSuccess) {
        return ReportStoreError(rc);
    }
    std::cout << "The operation completed successfully.\n";
    return 0;
}

int Run(int argc, char** argv) {
    const cli::CProgram program{"orvella-reg", kUsage};
    // The tool's own options begin with "/" and follow the key; a dash in
    // the first place begins ours (later a dash may begin data: /d -1).
    if (argc >= 2) {
        if (const int code = cli::AnswerStandardOption(program, argv[1]); code >= 0)
            return code;
        if (cli::IsOption(argv[1]))
            return cli::RefuseOption(program, argv[1]);
    }
    Command command;
    std::string error;
    if (!ParseCommand(argc, argv, &command, &error)) {
        std::cerr << "ERROR: " << error << "\n" << kUsage;
        return 1;
    }
    if (command.verb == "query")
        return Query(command);
    if (command.verb == "add")
        return Add(command);
    return Delete(command);
}

}  // namespace
}  // namespace orvella

int main(int argc, char** argv) {
    return orvella::Run(argc, argv);
}
