#include "platform/console.h"

#include <io.h>

#include <atomic>

#include "platform/win32/win32_api.h"

namespace platform {

namespace {

std::atomic<void (*)()> g_onInterrupt{nullptr};

// Runs on the system's console thread.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    void (*handler)() = g_onInterrupt.load();
    if ((event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) && handler != nullptr) {
        handler();
        return TRUE;
    }
    return FALSE;
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
    return stream != nullptr && _isatty(_fileno(stream)) != 0;
}

int TerminalColumns(std::FILE* stream) {
    if (stream == nullptr)
        return 0;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(handle, &info))
        return 0;
    return info.dwSize.X > 0 ? info.dwSize.X : 0;
}

void SetInterruptHandler(void (*onInterrupt)()) {
    const bool had = g_onInterrupt.exchange(onInterrupt) != nullptr;
    if (onInterrupt != nullptr && !had)
        SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
    else if (onInterrupt == nullptr && had)
        SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
}

}  // namespace platform
