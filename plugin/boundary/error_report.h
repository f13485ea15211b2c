// Failures the user must see: a message box with an error icon, system-modal,
// OK only, captioned with the plug-in's name.
#pragma once

#include <string>

namespace orvella {

inline constexpr wchar_t kPluginCaption[] = L"OrvellaForNST";

void ShowErrorBox(const std::wstring& text);

// Logs the text, then shows it.
void ReportError(const std::wstring& text);

}  // namespace orvella
