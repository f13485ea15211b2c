// Failures the user must see: a message box with an error icon, system-modal,
// OK only, captioned with the plug-in's name.
#pragma once

#include <string>

namespace orvella {

inline constexpr wchar_t kPluginCaption[] = L"OrvellaForNST";

void ShowErrorBox(const std::wstring& text);

// Logs the text, then shows it; inside background work only logs it.
void ReportError(const std::wstring& text);

// Work the user did not ask for (the gap fill after a reconnect) runs inside
// one: its failures open no box and are logged once, not again while the
// same failure repeats on later attempts (until an attempt succeeds).
class CBackgroundErrors {
  public:
    CBackgroundErrors();
    ~CBackgroundErrors();
    CBackgroundErrors(const CBackgroundErrors&) = delete;
    CBackgroundErrors& operator=(const CBackgroundErrors&) = delete;

    // An error was reported since the last call; clears the mark.
    bool TakeFailure();
    // The work succeeded: its next failure is logged again.
    void NoteSuccess();
};

}  // namespace orvella
