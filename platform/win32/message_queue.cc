// The thread's own message queue, with this module's message-only window.
#include "platform/message_queue.h"

#include <mutex>
#include <vector>

#include "platform/win32/thread_window.h"
#include "platform/win32/win32_api.h"

namespace platform {

namespace win32 {

namespace {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT id, WPARAM wparam, LPARAM lparam);

// The windows this module made, so that they can be found from other threads
// and are disarmed when the module is unloaded (a window must not outlive the
// code of its window procedure).
class CWindows {
  public:
    CWindows() : m_tls(TlsAlloc()) {
        m_class.cbSize = sizeof(m_class);
        m_class.lpfnWndProc = WindowProc;
        m_class.hInstance = ModuleOfThis();
        // One class per module: each copy of this layer has its own procedure.
        swprintf(m_className, 64, L"OrvellaMessageWindow%p", static_cast<void*>(m_class.hInstance));
        m_class.lpszClassName = m_className;
        m_registered = RegisterClassExW(&m_class) != 0;
    }

    ~CWindows() {
        std::lock_guard<std::mutex> guard(m_lock);
        for (ThreadWindow* window : m_windows) {
            SetWindowLongPtrW(window->hwnd, GWLP_USERDATA, 0);
            SetWindowLongPtrW(window->hwnd, GWLP_WNDPROC,
                              reinterpret_cast<LONG_PTR>(&DefWindowProcW));
            if (window->thread == GetCurrentThreadId()) {
                DestroyWindow(window->hwnd);
            } else {
                PostMessageW(window->hwnd, WM_CLOSE, 0, 0);
            }
        }
        if (m_registered) {
            UnregisterClassW(m_className, m_class.hInstance);
        }
        if (m_tls != TLS_OUT_OF_INDEXES) {
            TlsFree(m_tls);
        }
    }

    ThreadWindow* Current() {
        if (m_tls == TLS_OUT_OF_INDEXES || !m_registered) {
            return nullptr;
        }
        if (auto* window = static_cast<ThreadWindow*>(TlsGetValue(m_tls))) {
            return window;
        }
        auto* window = new ThreadWindow;
        window->thread = GetCurrentThreadId();
        window->hwnd = CreateWindowExW(0, m_className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       m_class.hInstance, nullptr);
        if (window->hwnd == nullptr) {
            delete window;
            return nullptr;
        }
        SetWindowLongPtrW(window->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
        TlsSetValue(m_tls, window);
        std::lock_guard<std::mutex> guard(m_lock);
        m_windows.push_back(window);
        return window;
    }

    HWND Find(DWORD thread) {
        std::lock_guard<std::mutex> guard(m_lock);
        for (ThreadWindow* window : m_windows) {
            if (window->thread == thread) {
                return window->hwnd;
            }
        }
        return nullptr;
    }

  private:
    static HINSTANCE ModuleOfThis() {
        HMODULE module = nullptr;
        GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&WindowProc), &module);
        return module;
    }

    const DWORD m_tls;
    WNDCLASSEXW m_class{};
    wchar_t m_className[64];
    bool m_registered = false;
    std::mutex m_lock;
    std::vector<ThreadWindow*> m_windows;
};

CWindows& Windows() {
    static CWindows windows;
    return windows;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT id, WPARAM wparam, LPARAM lparam) {
    auto* window = reinterpret_cast<ThreadWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window == nullptr) {
        return DefWindowProcW(hwnd, id, wparam, lparam);
    }
    const auto socket = static_cast<SOCKET>(wparam);
    if (id == kSocketNotifyMessage) {
        if (window->dead.count(socket) != 0) {
            return 0;
        }
        const auto found = window->sockets.find(socket);
        if (found != window->sockets.end()) {
            DeliverNotification(found->second, WSAGETSELECTEVENT(lparam),
                                WSAGETSELECTERROR(lparam));
        }
        return 0;
    }
    if (id == kSocketDeadMessage) {
        const auto found = window->dead.find(socket);
        if (found != window->dead.end() && --found->second == 0) {
            window->dead.erase(found);
        }
        return 0;
    }
    const auto handler = window->handlers.find(id);
    if (handler != window->handlers.end()) {
        const Message msg{id, wparam, lparam, static_cast<uint32_t>(GetMessageTime()),
                          reinterpret_cast<uintptr_t>(hwnd)};
        handler->second.handler(msg, handler->second.context);
        return 0;
    }
    return DefWindowProcW(hwnd, id, wparam, lparam);
}

}  // namespace

ThreadWindow* CurrentWindow() {
    return Windows().Current();
}

HWND WindowOfThread(DWORD thread) {
    return Windows().Find(thread);
}

}  // namespace win32

namespace {

Message FromNative(const MSG& native) {
    return Message{native.message, native.wParam, native.lParam, static_cast<uint32_t>(native.time),
                   reinterpret_cast<uintptr_t>(native.hwnd)};
}

bool TakeNative(Message* msg) {
    MSG native;
    if (!::PeekMessageW(&native, nullptr, 0, 0, PM_REMOVE)) {
        return false;
    }
    *msg = FromNative(native);
    return true;
}

}  // namespace

ThreadId CurrentThreadId() {
    win32::CurrentWindow();
    return GetCurrentThreadId();
}

void PostMessage(uint32_t id, uintptr_t wparam, intptr_t lparam) {
    win32::ThreadWindow* window = win32::CurrentWindow();
    if (window != nullptr) {
        PostMessageW(window->hwnd, id, wparam, lparam);
    } else {
        ::PostThreadMessageW(GetCurrentThreadId(), id, wparam, lparam);
    }
}

bool PostThreadMessage(ThreadId thread, uint32_t id, uintptr_t wparam, intptr_t lparam) {
    const HWND window = win32::WindowOfThread(static_cast<DWORD>(thread));
    if (window == nullptr) {
        return false;
    }
    return PostMessageW(window, id, wparam, lparam) != FALSE;
}

void PostQuitMessage(int exitCode) {
    ::PostQuitMessage(exitCode);
}

bool PeekMessage(Message* msg) {
    win32::CurrentWindow();
    return TakeNative(msg);
}

WaitResult WaitMessage(Message* msg, int timeoutMs) {
    win32::CurrentWindow();
    const DWORD start = GetTickCount();
    for (;;) {
        if (TakeNative(msg)) {
            return msg->id == kQuitMessage ? WaitResult::kQuit : WaitResult::kMessage;
        }
        DWORD wait = INFINITE;
        if (timeoutMs >= 0) {
            const DWORD spent = GetTickCount() - start;
            if (spent >= static_cast<DWORD>(timeoutMs)) {
                return WaitResult::kTimeout;
            }
            wait = static_cast<DWORD>(timeoutMs) - spent;
        }
        if (MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
            WAIT_FAILED) {
            return WaitResult::kFailed;
        }
    }
}

void DispatchMessage(const Message& msg) {
    if (msg.window != 0) {
        MSG native{};
        native.hwnd = reinterpret_cast<HWND>(msg.window);
        native.message = msg.id;
        native.wParam = msg.wparam;
        native.lParam = msg.lparam;
        native.time = msg.time;
        ::DispatchMessageW(&native);
        return;
    }
    // A message to the thread itself, posted by someone else.
    win32::ThreadWindow* window = win32::CurrentWindow();
    if (window == nullptr) {
        return;
    }
    const auto handler = window->handlers.find(msg.id);
    if (handler != window->handlers.end()) {
        handler->second.handler(msg, handler->second.context);
    }
}

void SetMessageHandler(uint32_t id, MessageHandler handler, void* context) {
    win32::ThreadWindow* window = win32::CurrentWindow();
    if (window == nullptr) {
        return;
    }
    if (handler == nullptr) {
        window->handlers.erase(id);
    } else {
        window->handlers[id] = win32::ThreadWindow::Handler{handler, context};
    }
}

uint32_t LastMessageTime() {
    return static_cast<uint32_t>(GetMessageTime());
}

uint32_t MessageClock() {
    return GetTickCount();
}

}  // namespace platform
