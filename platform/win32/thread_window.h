// The Win32 backend's per-thread message-only window. Each module that links
// the platform layer has its own window on each thread that uses it; socket
// notifications and messages posted through this layer go to it, so that any
// module's message loop hands them to the module that owns them.
#pragma once

#include <unordered_map>

#include "platform/async_socket.h"
#include "platform/message_queue.h"
#include "platform/win32/win32_api.h"

namespace platform::win32 {

struct ThreadWindow {
    HWND hwnd = nullptr;
    DWORD thread = 0;
    // Owner thread only.
    std::unordered_map<SOCKET, CAsyncSocket*> sockets;
    // Closed sockets whose dead notice has not been dispatched yet: their
    // notifications still in the queue are dropped.
    std::unordered_map<SOCKET, int> dead;
    struct Handler {
        MessageHandler handler;
        void* context;
    };
    std::unordered_map<uint32_t, Handler> handlers;
};

// The calling thread's window, created on first use; null when it cannot be
// created.
ThreadWindow* CurrentWindow();

// The window of a thread that has one in this module, or null. Any thread.
HWND WindowOfThread(DWORD thread);

// Runs a socket notification for the socket's backend (connect outcome) and
// then its handler; defined with the sockets.
void DeliverNotification(CAsyncSocket* socket, unsigned event, int error);

}  // namespace platform::win32
