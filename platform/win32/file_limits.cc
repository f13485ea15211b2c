#include "platform/file_limits.h"

#include <cstdio>

namespace platform {

long RaiseOpenFileLimit() {
    // Handles have no per-process limit worth raising; the C runtime's table
    // of stream files has one.
    constexpr int kMostStreams = 8192;
    if (_setmaxstdio(kMostStreams) == -1) {
        return _getmaxstdio();
    }
    return kMostStreams;
}

}  // namespace platform
