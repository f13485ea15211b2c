// Texts of the platform's socket error numbers, for the log.
#pragma once

#include <string>

namespace orvella {

std::wstring SocketErrorText(int code);

}  // namespace orvella
