#include "platform/message_box.h"

#include <cstdio>
#include <cwchar>

#include "platform/text.h"
#include "platform/win32/win32_api.h"

namespace platform {

namespace {

// The observer is process-wide, but each module (the host program, a plug-in
// DLL) links its own copy of this layer. The first copy to need the slot
// publishes its address in the process's environment, so that a host's
// observer also sees the boxes of the plug-in it loaded. The slot is never
// freed: it may outlive the DLL that made it.
struct ObserverSlot {
    SRWLOCK lock = SRWLOCK_INIT;
    MessageBoxObserver observer = nullptr;
    void* context = nullptr;
};

constexpr wchar_t kSlotVariable[] = L"ORVELLA_MESSAGE_BOX_SLOT";

ObserverSlot* FindOrPublishSlot() {
    wchar_t text[32];
    const DWORD n = GetEnvironmentVariableW(kSlotVariable, text, 32);
    if (n > 0 && n < 32) {
        return reinterpret_cast<ObserverSlot*>(static_cast<uintptr_t>(wcstoull(text, nullptr, 16)));
    }
    auto* slot = new ObserverSlot;
    swprintf(text, 32, L"%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(slot)));
    SetEnvironmentVariableW(kSlotVariable, text);
    return slot;
}

ObserverSlot& Slot() {
    // Module copies start one after another (a DLL loads on the host's
    // thread), so the look-up above does not race in practice; the named
    // mutex makes sure of it.
    static ObserverSlot* slot = [] {
        wchar_t name[64];
        swprintf(name, 64, L"Local\\orvella-message-box-%lu", GetCurrentProcessId());
        HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
        if (mutex != nullptr) {
            WaitForSingleObject(mutex, INFINITE);
        }
        ObserverSlot* found = FindOrPublishSlot();
        if (mutex != nullptr) {
            ReleaseMutex(mutex);
            CloseHandle(mutex);
        }
        return found;
    }();
    return *slot;
}

}  // namespace

int MessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags) {
    ObserverSlot& slot = Slot();
    AcquireSRWLockShared(&slot.lock);
    const MessageBoxObserver observer = slot.observer;
    void* context = slot.context;
    ReleaseSRWLockShared(&slot.lock);
    if (observer != nullptr) {
        // An observer stands in for the user: no box is shown, so nothing
        // waits for a click.
        std::fprintf(stderr, "[%s] %s\n", NarrowText(caption).c_str(), NarrowText(text).c_str());
        std::fflush(stderr);
        observer(caption, text, flags, context);
        return kIdOk;
    }
    return MessageBoxW(nullptr, text.c_str(), caption.c_str(), flags);
}

void SetMessageBoxObserver(MessageBoxObserver observer, void* context) {
    ObserverSlot& slot = Slot();
    AcquireSRWLockExclusive(&slot.lock);
    slot.observer = observer;
    slot.context = context;
    ReleaseSRWLockExclusive(&slot.lock);
}

}  // namespace platform
