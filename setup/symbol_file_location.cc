#include "setup/symbol_file_location.h"

#include <climits>
#include <cstdint>
#include <filesystem>

#include "platform/file_system.h"

namespace orvella {

const char kSetupPathSeparator = static_cast<char>(platform::kPathSeparator);

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsSameIgnoringCase(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (LowerAscii(text[i]) != lower[i])
            return false;
    }
    return true;
}

bool IsForbiddenInName(unsigned char c) {
    if (c < 0x20 || c == 0x7F)
        return true;
    switch (c) {
        case '/':
        case '\\':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return true;
        default:
            return false;
    }
}

}  // namespace

SymbolFileLocation LocateSymbolFile(std::string_view website) {
    SymbolFileLocation location;
    const size_t slash = website.find('/');
    if (slash != std::string_view::npos) {
        location.host = website.substr(0, slash);
        location.objectPath = website.substr(slash);
    }
    location.extension = FileExtension(location.objectPath);
    location.baseName = FileBaseName(location.objectPath);
    return location;
}

std::string FileExtension(std::string_view objectPath) {
    if (objectPath.size() <= 3)
        return std::string(objectPath);
    return std::string(objectPath.substr(objectPath.size() - 3));
}

std::string FileBaseName(std::string_view objectPath) {
    const size_t dot = objectPath.find('.');
    if (dot == std::string_view::npos)
        return std::string();
    size_t start = 0;
    for (size_t i = dot; i-- > 1;) {
        if (objectPath[i] == '\\' || objectPath[i] == '/') {
            start = i + 1;
            break;
        }
    }
    return std::string(objectPath.substr(start, dot - start));
}

bool IsRefusedFile(std::string_view objectPath, std::string* extension) {
    const std::string_view name = objectPath.substr(0, objectPath.find_first_of("?#"));
    for (std::string_view path : {name, objectPath}) {
        *extension = FileExtension(path);
        for (std::string_view refused : {"exe", "com", "dll", "bat", "sys", "inf"}) {
            if (IsSameIgnoringCase(*extension, refused))
                return true;
        }
    }
    extension->clear();
    return false;
}

bool IsFullPath(std::string_view path) {
    return !path.empty() && std::filesystem::path(std::string(path)).is_absolute();
}

std::string SymbolFilePath(std::string_view root, const SymbolFileLocation& location) {
    std::string path(root);
    path += kSetupPathSeparator;
    path += location.baseName;
    path += '.';
    path += location.extension;
    return path;
}

std::string LstFolder(std::string_view root) {
    std::string folder(root);
    for (std::string_view part : {"Servers", "OrvellaForNST"}) {
        folder += kSetupPathSeparator;
        folder += part;
    }
    folder += kSetupPathSeparator;
    return folder;
}

int PortFromText(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Wraps like the platform's conversion instead of overflowing.
    uint32_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    if (negative)
        value = 0u - value;
    return static_cast<int>(value);
}

bool ParseDialogInteger(std::string_view text, int* value) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const size_t digits = i;
    int64_t magnitude = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > int64_t{INT_MAX} + 1)
            return false;
    }
    if (i == digits)
        return false;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    if (i != text.size())
        return false;
    const int64_t result = negative ? -magnitude : magnitude;
    if (result > INT_MAX || result < INT_MIN)
        return false;
    *value = static_cast<int>(result);
    return true;
}

std::string LstFileName(std::string_view key) {
    std::string name(key);
    for (size_t i = 0; i < name.size(); ++i) {
        if (IsForbiddenInName(static_cast<unsigned char>(name[i]))) {
            name[i] = '_';
        } else if (name[i] == '.' && i + 1 < name.size() && name[i + 1] == '.') {
            name[i] = '_';
            name[i + 1] = '_';
        }
    }
    name += ".LST";
    return name;
}

}  // namespace orvella
