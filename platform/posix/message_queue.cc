#include "platform/message_queue.h"

#include <time.h>

#include "platform/posix/thread_queue.h"

namespace platform {

using posix::TakeResult;
using posix::ThreadQueue;

namespace {

WaitResult ToWaitResult(TakeResult result) {
    switch (result) {
        case TakeResult::kMessage:
            return WaitResult::kMessage;
        case TakeResult::kQuit:
            return WaitResult::kQuit;
        case TakeResult::kTimeout:
            return WaitResult::kTimeout;
        case TakeResult::kFailed:
        case TakeResult::kSocketReady:
            break;
    }
    return WaitResult::kFailed;
}

}  // namespace

ThreadId CurrentThreadId() {
    return ThreadQueue::Current()->id();
}

void PostMessage(uint32_t id, uintptr_t wparam, intptr_t lparam) {
    ThreadQueue::Current()->Post(id, wparam, lparam);
}

bool PostThreadMessage(ThreadId thread, uint32_t id, uintptr_t wparam, intptr_t lparam) {
    posix::ThreadQueuePtr queue = ThreadQueue::Find(thread);
    if (!queue) {
        return false;
    }
    queue->Post(id, wparam, lparam);
    return true;
}

void PostQuitMessage(int exitCode) {
    ThreadQueue::Current()->PostQuit(exitCode);
}

bool PeekMessage(Message* msg) {
    const TakeResult result = ThreadQueue::Current()->Take(msg, 0, kInvalidSocket);
    return result == TakeResult::kMessage || result == TakeResult::kQuit;
}

WaitResult WaitMessage(Message* msg, int timeoutMs) {
    return ToWaitResult(ThreadQueue::Current()->Take(msg, timeoutMs, kInvalidSocket));
}

void DispatchMessage(const Message& msg) {
    ThreadQueue* queue = ThreadQueue::Current();
    if (msg.id == kSocketNotifyMessage) {
        CAsyncSocket* socket = queue->FindSocket(msg.wparam);
        if (socket != nullptr) {
            const auto packed = static_cast<uint32_t>(msg.lparam);
            socket->DispatchNotification(packed & 0xFFFF, static_cast<int>(packed >> 16));
        }
        return;
    }
    MessageHandler handler;
    void* context;
    if (queue->FindHandler(msg.id, &handler, &context)) {
        handler(msg, context);
    }
}

void SetMessageHandler(uint32_t id, MessageHandler handler, void* context) {
    ThreadQueue::Current()->SetHandler(id, handler, context);
}

uint32_t LastMessageTime() {
    return ThreadQueue::Current()->lastMessageTime();
}

uint32_t MessageClock() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

}  // namespace platform
