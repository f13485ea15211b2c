#include "platform/posix/thread_queue.h"

#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/posix/socket_error_map.h"

namespace platform::posix {

namespace {

// All live queues by thread id, for PostThreadMessage. Never destroyed, so
// that threads ending during process exit still find it.
struct QueueDirectory {
    std::mutex lock;
    std::unordered_map<ThreadId, ThreadQueuePtr> queues;
};

QueueDirectory& Directory() {
    static QueueDirectory* directory = new QueueDirectory;
    return *directory;
}

std::atomic<ThreadId> g_nextThreadId{1};

// The calling thread's queue; leaving the directory when the thread ends.
struct QueueHolder {
    ThreadQueuePtr queue;
    ~QueueHolder() {
        if (queue) {
            QueueDirectory& directory = Directory();
            std::lock_guard<std::mutex> guard(directory.lock);
            directory.queues.erase(queue->id());
        }
    }
};

thread_local QueueHolder t_holder;

int BytesAvailable(int fd) {
    int count = 0;
    if (ioctl(fd, FIONREAD, &count) != 0) {
        return 0;
    }
    return count;
}

int TakeSocketError(int fd) {
    int err = 0;
    socklen_t len = sizeof(err);
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) {
        err = errno;
    }
    return err;
}

}  // namespace

ThreadQueue::ThreadQueue(ThreadId id, int wakeFd) : m_id(id), m_wakeFd(wakeFd) {}

ThreadQueue::~ThreadQueue() {
    if (m_wakeFd >= 0) {
        close(m_wakeFd);
    }
}

ThreadQueuePtr ThreadQueue::CurrentShared() {
    if (!t_holder.queue) {
        // Without an eventfd the queue still works for its own thread; only
        // posts from other threads cannot wake it.
        const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        auto queue = std::make_shared<ThreadQueue>(g_nextThreadId.fetch_add(1), wakeFd);
        QueueDirectory& directory = Directory();
        std::lock_guard<std::mutex> guard(directory.lock);
        directory.queues.emplace(queue->id(), queue);
        t_holder.queue = std::move(queue);
    }
    return t_holder.queue;
}

ThreadQueue* ThreadQueue::Current() {
    if (!t_holder.queue) {
        CurrentShared();
    }
    return t_holder.queue.get();
}

ThreadQueuePtr ThreadQueue::Find(ThreadId id) {
    QueueDirectory& directory = Directory();
    std::lock_guard<std::mutex> guard(directory.lock);
    auto it = directory.queues.find(id);
    return it == directory.queues.end() ? nullptr : it->second;
}

void ThreadQueue::Post(uint32_t id, uintptr_t wparam, intptr_t lparam) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        PostLocked(id, wparam, lparam);
    }
    // The owner itself is not waiting while it posts.
    if (t_holder.queue.get() != this && m_wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t written = write(m_wakeFd, &one, sizeof(one));
    }
}

void ThreadQueue::PostQuit(int exitCode) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_quit = true;
    m_quitCode = exitCode;
}

void ThreadQueue::PostLocked(uint32_t id, uintptr_t wparam, intptr_t lparam) {
    m_messages.push_back(Message{id, wparam, lparam, MessageClock()});
}

void ThreadQueue::Notify(SocketState* state, unsigned event, int error) {
    if (state->events & event) {
        PostLocked(kSocketNotifyMessage, state->handle, NotificationParam(event, error));
    }
}

void ThreadQueue::PostNotification(SocketState* state, unsigned event, int error) {
    std::lock_guard<std::mutex> guard(m_lock);
    Notify(state, event, error);
}

TakeResult ThreadQueue::Take(Message* msg, int timeoutMs, SocketHandle watch) {
    const uint32_t start = MessageClock();
    int wait = 0;
    for (;;) {
        if (!Collect(wait)) {
            return TakeResult::kFailed;
        }
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (watch != kInvalidSocket) {
                auto it = m_sockets.find(watch);
                if (it == m_sockets.end() || it->second->waitSatisfied) {
                    return TakeResult::kSocketReady;
                }
            }
            TakeResult result;
            if (TakePending(msg, &result)) {
                m_lastMessageTime = msg->time;
                return result;
            }
        }
        if (timeoutMs == 0) {
            return TakeResult::kTimeout;
        }
        if (timeoutMs < 0) {
            wait = -1;
        } else {
            const uint32_t elapsed = MessageClock() - start;
            if (elapsed >= static_cast<uint32_t>(timeoutMs)) {
                return TakeResult::kTimeout;
            }
            wait = timeoutMs - static_cast<int>(elapsed);
        }
    }
}

bool ThreadQueue::TakePending(Message* msg, TakeResult* result) {
    if (!m_messages.empty()) {
        *msg = m_messages.front();
        m_messages.pop_front();
        *result = msg->id == kQuitMessage ? TakeResult::kQuit : TakeResult::kMessage;
        return true;
    }
    // Like the platform, the quit message comes only once the queue is empty.
    if (m_quit) {
        m_quit = false;
        *msg = Message{kQuitMessage, static_cast<uintptr_t>(m_quitCode), 0, MessageClock()};
        *result = TakeResult::kQuit;
        return true;
    }
    return false;
}

short ThreadQueue::PollEvents(const SocketState& state) const {
    using Phase = SocketState::Phase;
    short events = state.waitEvents;
    if (state.phase == Phase::kConnecting) {
        return events | POLLOUT;
    }
    if (state.phase != Phase::kConnected || state.peerGone) {
        return events;
    }
    short wanted = 0;
    if (state.readArmed && (state.events & kSocketEventRead)) {
        wanted |= POLLIN;
    }
    if (state.writeArmed && (state.events & kSocketEventWrite)) {
        wanted |= POLLOUT;
    }
    if (events != 0 || wanted != 0 || (state.closeArmed && (state.events & kSocketEventClose))) {
        wanted |= POLLRDHUP;
    }
    return events | wanted;
}

bool ThreadQueue::Collect(int timeoutMs) {
    m_pollFds.clear();
    m_pollHandles.clear();
    m_pollFds.push_back(pollfd{m_wakeFd, POLLIN, 0});
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (auto& [handle, state] : m_sockets) {
            // After the peer has gone the socket is not polled; data still
            // buffered is announced from here, once per receive.
            if (state->peerGone && state->readArmed && (state->events & kSocketEventRead) &&
                BytesAvailable(state->fd) > 0) {
                state->readArmed = false;
                Notify(state, kSocketEventRead, 0);
            }
            const short events = PollEvents(*state);
            if (events != 0) {
                m_pollFds.push_back(pollfd{state->fd, events, 0});
                m_pollHandles.push_back(handle);
            }
        }
        if (!m_messages.empty() || m_quit) {
            timeoutMs = 0;
        }
    }
    const int ready = poll(m_pollFds.data(), m_pollFds.size(), timeoutMs);
    if (ready < 0) {
        return errno == EINTR;
    }
    if (ready == 0) {
        return true;
    }
    if (m_pollFds[0].revents != 0) {
        uint64_t count;
        [[maybe_unused]] ssize_t got = read(m_wakeFd, &count, sizeof(count));
    }
    std::lock_guard<std::mutex> guard(m_lock);
    for (size_t i = 1; i < m_pollFds.size(); ++i) {
        const short revents = m_pollFds[i].revents;
        if (revents == 0 || (revents & POLLNVAL)) {
            continue;
        }
        // The socket may have been closed from another thread meanwhile.
        auto it = m_sockets.find(m_pollHandles[i - 1]);
        if (it != m_sockets.end()) {
            CollectSocket(it->second, revents);
        }
    }
    return true;
}

void ThreadQueue::CollectSocket(SocketState* state, short revents) {
    using Phase = SocketState::Phase;
    if (state->waitEvents != 0 && (revents & (state->waitEvents | POLLERR | POLLHUP))) {
        state->waitSatisfied = true;
    }
    if (state->phase == Phase::kConnecting) {
        if (revents & (POLLOUT | POLLERR | POLLHUP)) {
            const int err = TakeSocketError(state->fd);
            if (err == 0) {
                state->phase = Phase::kConnected;
                Notify(state, kSocketEventConnect, 0);
            } else {
                state->phase = Phase::kFailed;
                state->connectError = SocketErrorFromErrno(err);
                Notify(state, kSocketEventConnect, state->connectError);
            }
        }
        return;
    }
    if (state->phase != Phase::kConnected || state->peerGone) {
        return;
    }
    if (revents & (POLLERR | POLLHUP | POLLRDHUP)) {
        CollectPeerGone(state, revents);
        return;
    }
    if ((revents & POLLIN) && state->readArmed) {
        state->readArmed = false;
        Notify(state, kSocketEventRead, 0);
    }
    if ((revents & POLLOUT) && state->writeArmed) {
        state->writeArmed = false;
        Notify(state, kSocketEventWrite, 0);
    }
}

void ThreadQueue::CollectPeerGone(SocketState* state, short revents) {
    int error = 0;
    if (revents & POLLERR) {
        const int err = TakeSocketError(state->fd);
        error = err == 0 ? kWsaConnectionReset : SocketErrorFromErrno(err);
        state->pendingError = error;
    }
    // Data first (and a reset, which the reader learns from its receive),
    // then the close; what is buffered stays readable after the close.
    if (state->readArmed && (error != 0 || BytesAvailable(state->fd) > 0)) {
        state->readArmed = false;
        Notify(state, kSocketEventRead, 0);
    }
    if (state->closeArmed) {
        state->closeArmed = false;
        Notify(state, kSocketEventClose, error);
    }
    state->peerGone = true;
}

void ThreadQueue::Register(SocketState* state) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_sockets[state->handle] = state;
}

void ThreadQueue::Unregister(SocketHandle handle) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_sockets.erase(handle);
}

CAsyncSocket* ThreadQueue::FindSocket(SocketHandle handle) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_sockets.find(handle);
    return it == m_sockets.end() ? nullptr : it->second->socket;
}

void ThreadQueue::SetHandler(uint32_t id, MessageHandler handler, void* context) {
    if (handler == nullptr) {
        m_handlers.erase(id);
    } else {
        m_handlers[id] = HandlerEntry{handler, context};
    }
}

bool ThreadQueue::FindHandler(uint32_t id, MessageHandler* handler, void** context) const {
    auto it = m_handlers.find(id);
    if (it == m_handlers.end()) {
        return false;
    }
    *handler = it->second.handler;
    *context = it->second.context;
    return true;
}

}  // namespace platform::posix
