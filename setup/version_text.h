// The file version of a program, as its About box shows it.
#pragma once

#include <string>

namespace orvella {

// The FileVersion string of the file's version information, looked up under
// its one translation (or the user's default language with the Unicode code
// page), cut to 250 characters when it has 256 or more, with every "," made
// "." and every space removed. "Unknown" when it cannot be read.
std::string GetFileVersionText(const std::wstring& path);

// The version text of this program (its own file).
std::string OwnVersionText();

}  // namespace orvella
