// The POSIX backend of the per-thread message queue: posted messages, the
// quit flag, and the readiness of the sockets the thread owns, all collected
// in one poll() over the sockets and an eventfd that other threads write to
// wake the owner.
#pragma once

#include <poll.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/async_socket.h"
#include "platform/message_queue.h"

namespace platform::posix {

class ThreadQueue;
using ThreadQueuePtr = std::shared_ptr<ThreadQueue>;

// What the backend knows of one socket. Fields other than fd, handle and
// socket change only under the owning queue's lock.
struct SocketState {
    enum class Phase { kCreated, kConnecting, kConnected, kFailed };

    int fd = -1;
    SocketHandle handle = kInvalidSocket;
    CAsyncSocket* socket = nullptr;
    ThreadQueuePtr queue;  // the owning thread's queue
    unsigned events = 0;   // selected notifications
    Phase phase = Phase::kCreated;
    int connectError = 0;
    // A notification is armed until it has been posted; the operation that
    // consumes it (Receive, a blocked Send) arms it again.
    bool readArmed = true;
    bool writeArmed = true;
    bool closeArmed = true;
    // The peer closed or reset the connection: the socket is no longer polled
    // for notifications (its readiness would never clear again).
    bool peerGone = false;
    // A reset collected from the socket, reported by the next Receive that
    // finds no data.
    int pendingError = 0;
    // A blocking call of CSocket waits for these poll events; set to true
    // once they (or the end of a connect) have been seen.
    short waitEvents = 0;
    bool waitSatisfied = false;
};

// Result of Take besides the public WaitResult values.
enum class TakeResult { kMessage, kQuit, kTimeout, kFailed, kSocketReady };

class ThreadQueue {
  public:
    ThreadQueue(ThreadId id, int wakeFd);
    ~ThreadQueue();

    ThreadQueue(const ThreadQueue&) = delete;
    ThreadQueue& operator=(const ThreadQueue&) = delete;

    // The calling thread's queue, created on first use. Null only when the
    // wake-up descriptor cannot be created.
    static ThreadQueue* Current();
    static ThreadQueuePtr CurrentShared();
    // The queue of a live thread, or null.
    static ThreadQueuePtr Find(ThreadId id);

    ThreadId id() const { return m_id; }

    // Queues a message stamped now; any thread.
    void Post(uint32_t id, uintptr_t wparam, intptr_t lparam);
    void PostQuit(int exitCode);

    // Owner thread only. Collects socket readiness, then takes the next
    // message. timeoutMs 0 never waits, negative waits without limit. With
    // watch naming a socket, returns kSocketReady as soon as its
    // waitSatisfied is set or it is no longer registered.
    TakeResult Take(Message* msg, int timeoutMs, SocketHandle watch);

    // Queues a notification of the socket if its event is selected.
    void PostNotification(SocketState* state, unsigned event, int error);

    // Registration of the thread's sockets. Unregister may run on any thread.
    void Register(SocketState* state);
    void Unregister(SocketHandle handle);
    // The socket of a live registration on this queue, or null.
    CAsyncSocket* FindSocket(SocketHandle handle);

    // Runs f under the queue's lock (for changes to a SocketState).
    template <typename F>
    void WithLock(F&& f) {
        std::lock_guard<std::mutex> guard(m_lock);
        f();
    }

    // Time stamp of the message the owner took last.
    uint32_t lastMessageTime() const { return m_lastMessageTime; }

    // The owner's message handlers (owner thread only).
    void SetHandler(uint32_t id, MessageHandler handler, void* context);
    bool FindHandler(uint32_t id, MessageHandler* handler, void** context) const;

  private:
    struct HandlerEntry {
        MessageHandler handler;
        void* context;
    };

    // Polls the sockets and the wake-up descriptor for up to timeoutMs and
    // queues the notifications found. False when poll fails.
    bool Collect(int timeoutMs);
    void CollectSocket(SocketState* state, short revents);
    void CollectPeerGone(SocketState* state, short revents);
    short PollEvents(const SocketState& state) const;
    void PostLocked(uint32_t id, uintptr_t wparam, intptr_t lparam);
    void Notify(SocketState* state, unsigned event, int error);
    bool TakePending(Message* msg, TakeResult* result);

    const ThreadId m_id;
    const int m_wakeFd;

    std::mutex m_lock;
    std::deque<Message> m_messages;
    bool m_quit = false;
    int m_quitCode = 0;
    std::unordered_map<SocketHandle, SocketState*> m_sockets;

    // Owner thread only.
    std::vector<pollfd> m_pollFds;
    std::vector<SocketHandle> m_pollHandles;
    std::unordered_map<uint32_t, HandlerEntry> m_handlers;
    uint32_t m_lastMessageTime = 0;
};

// Packs a notification's event and error into a message's lparam.
inline intptr_t NotificationParam(unsigned event, int error) {
    return static_cast<intptr_t>((static_cast<uint32_t>(error) << 16) | (event & 0xFFFF));
}

}  // namespace platform::posix
