#include "platform/message_box.h"

#include <cstdio>
#include <mutex>

#include "platform/text.h"

namespace platform {

namespace {

struct ObserverSlot {
    std::mutex lock;
    MessageBoxObserver observer = nullptr;
    void* context = nullptr;
};

ObserverSlot& Slot() {
    static ObserverSlot* slot = new ObserverSlot;
    return *slot;
}

}  // namespace

int MessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags) {
    std::fprintf(stderr, "[%s] %s\n", NarrowText(caption).c_str(), NarrowText(text).c_str());
    std::fflush(stderr);
    MessageBoxObserver observer;
    void* context;
    {
        ObserverSlot& slot = Slot();
        std::lock_guard<std::mutex> guard(slot.lock);
        observer = slot.observer;
        context = slot.context;
    }
    if (observer != nullptr) {
        observer(caption, text, flags, context);
    }
    return kIdOk;
}

void SetMessageBoxObserver(MessageBoxObserver observer, void* context) {
    ObserverSlot& slot = Slot();
    std::lock_guard<std::mutex> guard(slot.lock);
    slot.observer = observer;
    slot.context = context;
}

}  // namespace platform
