#include "platform/console.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

namespace {

void (*g_onInterrupt)() = nullptr;

void OnSignal(int) {
    if (g_onInterrupt != nullptr)
        g_onInterrupt();
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
    return stream != nullptr && isatty(fileno(stream)) == 1;
}

int TerminalColumns(std::FILE* stream) {
    struct winsize size {};
    if (stream == nullptr || ioctl(fileno(stream), TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

void SetInterruptHandler(void (*onInterrupt)()) {
    g_onInterrupt = onInterrupt;
    struct sigaction action {};
    action.sa_handler = onInterrupt != nullptr ? OnSignal : SIG_DFL;
    sigemptyset(&action.sa_mask);
    // Reads and writes go on after the signal; the job notices the request
    // at its next progress report.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace platform
