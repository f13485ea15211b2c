// The diagnostic log lines written during a test.
#pragma once

#include <string>
#include <vector>

namespace orvella {

// Starts capturing (and forgets earlier lines).
void StartLogCapture();
// The texts of the lines written since StartLogCapture, in order.
std::vector<std::wstring> CapturedLogLines();

}  // namespace orvella
