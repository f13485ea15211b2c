// Where the symbol file comes from and where it and the LST files go, all
// derived from the website text (a host name followed by the file's path)
// and the host's install directory. Pure text rules, no I/O.
#pragma once

#include <string>
#include <string_view>

namespace orvella {

// The native path separator as an 8-bit character.
extern const char kSetupPathSeparator;

struct SymbolFileLocation {
    std::string host;        // text before the first "/"
    std::string objectPath;  // the rest, starting with that "/"
    std::string extension;   // last three characters of objectPath
    std::string baseName;    // file name before the first ".", see FileBaseName
};

// Splits the website text at its first "/"; without a "/" host and path are
// empty.
SymbolFileLocation LocateSymbolFile(std::string_view website);

// The last three characters of the path (the whole path when shorter).
std::string FileExtension(std::string_view objectPath);

// Base name: up to the first "." of the path (empty when there is none),
// starting after the nearest "\" or "/" before it at position 1 or later, else
// at position 0 (so a leading "/" stays part of it).
std::string FileBaseName(std::string_view objectPath);

// True when the object path names a file that is never downloaded: the last
// three characters of the path without its query ("?...") and fragment
// ("#...") are, in any case, "exe", "com", "dll", "bat", "sys" or "inf"; so
// are those of the whole path, which name the stored file. *extension
// receives the refused one.
bool IsRefusedFile(std::string_view objectPath, std::string* extension);

// root + separator + baseName + "." + extension.
std::string SymbolFilePath(std::string_view root, const SymbolFileLocation& location);

// True for a path that names its folder from the file-system root (on the
// desktop platform with its drive or server), never from the current folder.
bool IsFullPath(std::string_view path);

// root + separator + "Servers" + separator + "OrvellaForNST" + separator.
std::string LstFolder(std::string_view root);

// The port edit as the download reads it: leading white space, an optional
// sign and the leading decimal digits; anything else gives 0.
int PortFromText(std::string_view text);

// The port edit as the dialog's data exchange reads it: the whole text must
// be an integer (white space around it allowed) within the signed 32-bit
// range. False otherwise.
bool ParseDialogInteger(std::string_view text, int* value);

// File name of an exchange file: key + ".LST", where every character that
// cannot stand in a file name (path separators, NUL and other control
// characters, the characters the desktop platform refuses in names, and both
// dots of "..") becomes "_". Keys of ordinary characters keep their names.
std::string LstFileName(std::string_view key);

}  // namespace orvella
