// The per-thread message queue of the desktop platform.
//
// Every thread has one queue, created on first use. Socket notifications of
// the sockets a thread created (see async_socket.h), messages posted to the
// thread and the quit message all arrive here, and run only when the thread
// takes them and calls DispatchMessage. Handlers may pump the same queue
// again (nesting is allowed). The Win32 backend is the thread's own queue
// (PeekMessage/DispatchMessage) with one message-only window per thread and
// module, to which the socket notifications and the posted messages go.
//
// All functions act on the calling thread's queue unless they take a thread.
#pragma once

#include <cstdint>

#include "platform/platform_export.h"

namespace platform {

// Message numbers, as on the platform.
inline constexpr uint32_t kQuitMessage = 0x0012;
// A socket notification: wparam is the socket handle, lparam carries the
// event (low 16 bits, kSocketEvent* of async_socket.h) and the error code
// (high 16 bits).
inline constexpr uint32_t kSocketNotifyMessage = 0x0373;
// Posted once when a socket is closed: wparam is the closed socket's handle.
// Notifications of that socket still in the queue are dropped when dispatched.
inline constexpr uint32_t kSocketDeadMessage = 0x0374;
// First number free for the users' own messages.
inline constexpr uint32_t kUserMessage = 0x0400;

// Identifies a thread (and so its queue) for posting from elsewhere.
using ThreadId = uint64_t;

struct Message {
    uint32_t id = 0;
    uintptr_t wparam = 0;
    intptr_t lparam = 0;
    // Milliseconds of the monotonic clock when the message was queued
    // (wraps like the platform's 32-bit message time).
    uint32_t time = 0;
    // The window the message was posted to, where the backend has windows
    // (0 for a message to the thread itself).
    uintptr_t window = 0;
};

enum class WaitResult {
    kMessage,  // *msg holds the next message
    kQuit,     // *msg holds the quit message (its wparam is the exit code)
    kTimeout,  // nothing arrived within the time-out
    kFailed,   // the wait itself failed
};

// The calling thread's id.
PLATFORM_API ThreadId CurrentThreadId();

// Posts a message to the calling thread's queue. Never blocks.
PLATFORM_API void PostMessage(uint32_t id, uintptr_t wparam, intptr_t lparam);

// Posts a message to another thread's queue (which must exist: the thread has
// called any function of this header). Safe from any thread; wakes a thread
// that waits. Returns false when no such queue exists.
PLATFORM_API bool PostThreadMessage(ThreadId thread, uint32_t id, uintptr_t wparam,
                                    intptr_t lparam);

// Posts the quit message to the calling thread's queue.
PLATFORM_API void PostQuitMessage(int exitCode);

// Takes the next pending message without waiting. Socket readiness is
// collected first (a poll with a zero time-out), so a notification whose
// event has happened is pending even if nobody waited. Returns false when
// nothing is pending. The message is removed from the queue; call
// DispatchMessage to run it.
PLATFORM_API bool PeekMessage(Message* msg);

// Waits up to timeoutMs milliseconds (negative: no limit) for the next
// message and takes it. The thread sleeps in the kernel while it waits.
PLATFORM_API WaitResult WaitMessage(Message* msg, int timeoutMs);

// Runs a message: a socket notification calls the handler of its socket (if
// that socket still exists on this thread); other messages are ignored unless
// a handler was installed with SetMessageHandler.
PLATFORM_API void DispatchMessage(const Message& msg);

// Installs a handler for messages with this id on the calling thread (null
// removes it). Used by programs for their own messages.
using MessageHandler = void (*)(const Message& msg, void* context);
PLATFORM_API void SetMessageHandler(uint32_t id, MessageHandler handler, void* context);

// Time stamp of the message the calling thread took last (PeekMessage or
// WaitMessage), like the platform's GetMessageTime. 0 before the first one.
PLATFORM_API uint32_t LastMessageTime();

// Milliseconds of the monotonic clock, in the same scale as Message::time.
PLATFORM_API uint32_t MessageClock();

}  // namespace platform
