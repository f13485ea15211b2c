#include "platform/async_socket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "loopback.h"
#include "platform/message_queue.h"
#include "plugin/levelone/message_pump.h"

namespace platform {
namespace {

using test::Listener;
using test::PumpUntil;

constexpr unsigned kReadConnectClose = kSocketEventRead | kSocketEventConnect | kSocketEventClose;

// Records every notification; reads once per data notification, drains in
// OnClose and closes on a receive error, as the plug-in's sockets do.
class RecordingSocket : public CAsyncSocket {
  public:
    std::vector<std::pair<unsigned, int>> events;
    std::string received;
    size_t readChunk = 4096;
    int emptyReads = 0;
    int receiveError = 0;
    int closes = 0;
    size_t receivedAtClose = 0;
    std::function<void()> afterReceive;

    int ReadOnce() {
        std::vector<char> buffer(readChunk);
        const int n = Receive(buffer.data(), static_cast<int>(buffer.size()));
        if (n > 0) {
            received.append(buffer.data(), static_cast<size_t>(n));
        } else if (n < 0 && LastSocketError() == kWsaWouldBlock) {
            ++emptyReads;
        } else if (n < 0) {
            receiveError = LastSocketError();
            Close();
        }
        return n;
    }

  protected:
    void OnConnect(int error) override { events.emplace_back(kSocketEventConnect, error); }
    void OnSend(int error) override { events.emplace_back(kSocketEventWrite, error); }
    void OnReceive(int error) override {
        events.emplace_back(kSocketEventRead, error);
        ReadOnce();
        if (afterReceive) {
            afterReceive();
        }
    }
    void OnClose(int error) override {
        events.emplace_back(kSocketEventClose, error);
        ++closes;
        receivedAtClose = received.size();
        ShutDown(kShutdownSend);
        while (ReadOnce() > 0) {
        }
        ShutDown(kShutdownBoth);
        Close();
    }
};

std::string Pattern(size_t size, unsigned seed) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        text[i] = static_cast<char>('a' + (i * 7 + seed) % 26);
    }
    return text;
}

// Connects socket to the listener and returns the accepted descriptor.
int ConnectPair(RecordingSocket& socket, Listener& listener, unsigned events = kReadConnectClose) {
    EXPECT_TRUE(socket.Create(events));
    socket.SetReceiveBufferSize(131072);
    socket.SetSendBufferSize(131072);
    socket.SetDontLinger(false);
    EXPECT_FALSE(socket.Connect("127.0.0.1", listener.port()));
    EXPECT_EQ(LastSocketError(), kWsaWouldBlock);
    EXPECT_TRUE(PumpUntil([&] { return !socket.events.empty(); }));
    return listener.Accept();
}

void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

TEST(AsyncSocketTest, RefusedConnectIsNotifiedOnceWith10061) {
    ASSERT_TRUE(InitSockets());
    ASSERT_TRUE(InitSockets());
    Listener notListening(false);
    RecordingSocket socket;
    ASSERT_TRUE(socket.Create(kReadConnectClose));
    EXPECT_FALSE(socket.Connect("127.0.0.1", notListening.port()));
    EXPECT_EQ(LastSocketError(), kWsaWouldBlock);
    ASSERT_TRUE(PumpUntil([&] { return !socket.events.empty(); }));
    PumpFor(100);
    using Event = std::pair<unsigned, int>;
    EXPECT_EQ(socket.events, (std::vector<Event>{{kSocketEventConnect, kWsaConnectionRefused}}));
}

TEST(AsyncSocketTest, ConnectNotifiesOnlySelectedEvents) {
    using Event = std::pair<unsigned, int>;
    struct Case {
        unsigned events;
        std::vector<Event> expected;
    } cases[] = {
        {kReadConnectClose, {{kSocketEventConnect, 0}}},
        {kSocketEventsAll, {{kSocketEventConnect, 0}, {kSocketEventWrite, 0}}},
    };
    for (const Case& c : cases) {
        Listener listener;
        RecordingSocket socket;
        const int peer = ConnectPair(socket, listener, c.events);
        ASSERT_GE(peer, 0);
        PumpFor(100);
        EXPECT_EQ(socket.events, c.expected) << "events " << c.events;
        close(peer);
    }
}

TEST(AsyncSocketTest, OperationsFailWithoutASocketOrAddress) {
    RecordingSocket socket;
    EXPECT_FALSE(socket.Connect("127.0.0.1", 1));
    EXPECT_EQ(LastSocketError(), kWsaNotSocket);
    char byte;
    EXPECT_EQ(socket.Send("x", 1), -1);
    EXPECT_EQ(LastSocketError(), kWsaNotSocket);
    EXPECT_EQ(socket.Receive(&byte, 1), -1);
    EXPECT_EQ(LastSocketError(), kWsaNotSocket);
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.Create());
    EXPECT_FALSE(socket.Connect("localhost.invalid", 1));
    EXPECT_NE(LastSocketError(), kWsaWouldBlock);
    EXPECT_EQ(socket.Receive(&byte, 1), -1);
    EXPECT_EQ(LastSocketError(), kWsaNotConnected);
}

TEST(AsyncSocketTest, DataInManyPiecesArrivesInOrderExactlyOnce) {
    Listener listener;
    RecordingSocket socket;
    socket.readChunk = 700;
    const int peer = ConnectPair(socket, listener);
    ASSERT_GE(peer, 0);
    std::string expected;
    for (unsigned i = 0; i < 400; ++i) {
        expected += Pattern(1 + (i * 37) % 500, i);
    }
    std::thread writer([&] {
        size_t at = 0;
        for (unsigned i = 0; i < 400; ++i) {
            const size_t size = 1 + (i * 37) % 500;
            test::SendAll(peer, expected.data() + at, size);
            at += size;
            if (i % 20 == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        close(peer);
    });
    EXPECT_TRUE(PumpUntil([&] { return socket.closes == 1; }, 10000));
    writer.join();
    EXPECT_EQ(socket.received.size(), expected.size());
    EXPECT_TRUE(socket.received == expected);
    // Each data notification found data: none is posted twice for one read.
    EXPECT_EQ(socket.emptyReads, 0);
}

TEST(AsyncSocketTest, OneLargeBurstArrivesWhole) {
    Listener listener;
    RecordingSocket socket;
    socket.readChunk = 131071;
    const int peer = ConnectPair(socket, listener);
    ASSERT_GE(peer, 0);
    const std::string expected = Pattern(4 << 20, 3);
    std::thread writer([&] {
        test::SendAll(peer, expected.data(), expected.size());
        close(peer);
    });
    EXPECT_TRUE(PumpUntil([&] { return socket.closes == 1; }, 20000));
    writer.join();
    EXPECT_EQ(socket.received.size(), expected.size());
    EXPECT_TRUE(socket.received == expected);
    EXPECT_EQ(socket.emptyReads, 0);
}

TEST(AsyncSocketTest, PeerCloseLeavesBufferedDataForOnClose) {
    Listener listener;
    RecordingSocket socket;
    socket.readChunk = 1000;
    const int peer = ConnectPair(socket, listener);
    ASSERT_GE(peer, 0);
    const std::string expected = Pattern(100000, 5);
    ASSERT_TRUE(test::SendAll(peer, expected.data(), expected.size()));
    close(peer);
    EXPECT_TRUE(PumpUntil([&] { return socket.closes == 1; }));
    PumpFor(100);
    EXPECT_EQ(socket.closes, 1);
    EXPECT_LT(socket.receivedAtClose, expected.size());
    EXPECT_TRUE(socket.received == expected);
    EXPECT_EQ(socket.handle(), kInvalidSocket);
}

struct DeadNotices {
    std::vector<uintptr_t> handles;
    static void Record(const Message& msg, void* context) {
        static_cast<DeadNotices*>(context)->handles.push_back(msg.wparam);
    }
};

TEST(AsyncSocketTest, ResetMakesTheReceiveFailAndTheReaderCloses) {
    Listener listener;
    RecordingSocket socket;
    const int peer = ConnectPair(socket, listener);
    ASSERT_GE(peer, 0);
    const SocketHandle handle = socket.handle();
    DeadNotices dead;
    SetMessageHandler(kSocketDeadMessage, &DeadNotices::Record, &dead);
    test::ResetAndClose(peer);
    EXPECT_TRUE(PumpUntil([&] { return !dead.handles.empty(); }));
    PumpFor(100);
    SetMessageHandler(kSocketDeadMessage, nullptr, nullptr);
    EXPECT_EQ(socket.receiveError, kWsaConnectionReset);
    // The close notification of the socket closed by its reader is dropped.
    EXPECT_EQ(socket.closes, 0);
    EXPECT_EQ(dead.handles, std::vector<uintptr_t>{handle});
    EXPECT_EQ(socket.Receive(nullptr, 0), -1);
    EXPECT_EQ(LastSocketError(), kWsaNotSocket);
}

TEST(AsyncSocketTest, HandlersMayPumpTheQueueAgain) {
    Listener listener;
    RecordingSocket socket;
    socket.readChunk = 100;
    int depth = 0;
    int maxDepth = 0;
    socket.afterReceive = [&] {
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        Message msg;
        while (PeekMessage(&msg)) {
            DispatchMessage(msg);
        }
        --depth;
    };
    const int peer = ConnectPair(socket, listener);
    ASSERT_GE(peer, 0);
    const std::string expected = Pattern(2000, 9);
    ASSERT_TRUE(test::SendAll(peer, expected.data(), expected.size()));
    EXPECT_TRUE(PumpUntil([&] { return socket.received.size() == expected.size(); }));
    EXPECT_GE(maxDepth, 2);
    EXPECT_TRUE(socket.received == expected);
    close(peer);
}

TEST(AsyncSocketTest, TwoSocketsOnOneThreadKeepTheirOwnData) {
    Listener listener;
    RecordingSocket first;
    RecordingSocket second;
    first.readChunk = 333;
    second.readChunk = 777;
    const int firstPeer = ConnectPair(first, listener);
    const int secondPeer = ConnectPair(second, listener);
    ASSERT_GE(firstPeer, 0);
    ASSERT_GE(secondPeer, 0);
    const std::string firstText = Pattern(60000, 1);
    const std::string secondText = Pattern(60000, 2);
    std::thread writer([&] {
        for (size_t at = 0; at < firstText.size(); at += 1500) {
            test::SendAll(firstPeer, firstText.data() + at, 1500);
            test::SendAll(secondPeer, secondText.data() + at, 1500);
        }
        close(firstPeer);
        close(secondPeer);
    });
    EXPECT_TRUE(PumpUntil([&] { return first.closes == 1 && second.closes == 1; }, 10000));
    writer.join();
    EXPECT_TRUE(first.received == firstText);
    EXPECT_TRUE(second.received == secondText);
}

// The plug-in's bounded pump over a connection that always has data waiting.
TEST(AsyncSocketTest, BoundedPumpReturnsAfterTwoSecondsOfMessageTime) {
    Listener listener;
    RecordingSocket socket;
    // Slow handling (64 bytes a millisecond) of a well-filled receive buffer
    // keeps a data notification pending all the time.
    socket.readChunk = 64;
    socket.afterReceive = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    const int peer = ConnectPair(socket, listener);
    ASSERT_GE(peer, 0);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const std::string block = Pattern(65536, 4);
        while (!stop.load() && test::SendAll(peer, block.data(), block.size())) {
        }
    });
    ASSERT_TRUE(PumpUntil([&] { return !socket.received.empty(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // The pump's reference is the last message taken before it starts.
    PostMessage(kUserMessage, 0, 0);
    Message msg;
    ASSERT_TRUE(PeekMessage(&msg));
    ASSERT_EQ(msg.id, kUserMessage);
    const bool closed = false;
    const auto start = std::chrono::steady_clock::now();
    orvella::PumpSocketMessages(socket, closed);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
    stop = true;
    shutdown(peer, SHUT_RDWR);
    writer.join();
    close(peer);
    EXPECT_GE(elapsed, 1900);
    EXPECT_LT(elapsed, 4000);
    EXPECT_GT(socket.received.size(), 0u);
}

struct CloseOnMessage {
    CAsyncSocket* socket;
    static void Handle(const Message& msg, void* context) {
        static_cast<CloseOnMessage*>(context)->socket->Close();
        PostMessage(kUserMessage + 1, 42, 0);
    }
};

TEST(AsyncSocketTest, BoundedPumpStopsAtTheDeadNoticeAndLeavesTheQuitMessage) {
    Listener listener;
    RecordingSocket socket;
    const int peer = ConnectPair(socket, listener);
    ASSERT_GE(peer, 0);
    PumpFor(50);
    // A handler run by the pump closes the socket: the pump ends at its dead
    // notice and leaves the later message pending.
    CloseOnMessage closer{&socket};
    SetMessageHandler(kUserMessage, &CloseOnMessage::Handle, &closer);
    PostMessage(kUserMessage, 0, 0);
    const bool closed = false;
    orvella::PumpSocketMessages(socket, closed);
    SetMessageHandler(kUserMessage, nullptr, nullptr);
    Message msg;
    ASSERT_TRUE(PeekMessage(&msg));
    EXPECT_EQ(msg.id, kUserMessage + 1u);

    PostQuitMessage(7);
    orvella::PumpSocketMessages(socket, closed);
    EXPECT_EQ(WaitMessage(&msg, 1000), WaitResult::kQuit);
    EXPECT_EQ(msg.wparam, 7u);
    close(peer);
}

class BlockingSocket : public CSocket {
  public:
    int connects = 0;

  protected:
    void OnConnect(int error) override { ++connects; }
};

TEST(AsyncSocketTest, BlockingSocketWaitsWhileOtherSocketsRun) {
    Listener listener;
    BlockingSocket blocking;
    ASSERT_TRUE(blocking.Create());
    ASSERT_TRUE(blocking.Connect("127.0.0.1", listener.port()));
    const int peer = listener.Accept();
    ASSERT_GE(peer, 0);

    // A send larger than both socket buffers waits for the reader.
    const std::string big = Pattern(3 << 20, 6);
    std::string echoed;
    std::thread reader([&] {
        std::vector<char> buffer(65536);
        while (echoed.size() < big.size()) {
            const ssize_t n = recv(peer, buffer.data(), buffer.size(), 0);
            if (n <= 0) {
                break;
            }
            echoed.append(buffer.data(), static_cast<size_t>(n));
        }
    });
    EXPECT_EQ(blocking.Send(big.data(), static_cast<int>(big.size())),
              static_cast<int>(big.size()));
    reader.join();
    EXPECT_TRUE(echoed == big);

    // While the receive waits, another socket's data notifications run.
    RecordingSocket other;
    const int otherPeer = ConnectPair(other, listener);
    ASSERT_GE(otherPeer, 0);
    std::thread writer([&] {
        test::SendAll(otherPeer, "other", 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        test::SendAll(peer, "hello", 5);
    });
    char buffer[100];
    const int n = blocking.Receive(buffer, sizeof(buffer));
    writer.join();
    ASSERT_EQ(n, 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_EQ(other.received, "other");

    close(peer);
    EXPECT_EQ(blocking.Receive(buffer, sizeof(buffer)), 0);
    close(otherPeer);
}

TEST(AsyncSocketTest, BlockingConnectReportsRefusal) {
    Listener notListening(false);
    BlockingSocket blocking;
    ASSERT_TRUE(blocking.Create());
    EXPECT_FALSE(blocking.Connect("127.0.0.1", notListening.port()));
    EXPECT_EQ(LastSocketError(), kWsaConnectionRefused);
}

TEST(AsyncSocketTest, ZeroLengthProbeReportsTheConnectionState) {
    enum class Setup { kIdle, kDataWaiting, kPeerClosed, kPeerReset, kClosedHere };
    struct Case {
        const char* name;
        Setup setup;
        int result;
        std::vector<int> errors;
    } cases[] = {
        {"healthy idle", Setup::kIdle, -1, {kWsaWouldBlock}},
        {"data waiting", Setup::kDataWaiting, 0, {}},
        {"peer closed", Setup::kPeerClosed, -1, {kWsaShutdown, kWsaConnectionReset}},
        {"peer reset", Setup::kPeerReset, -1, {kWsaConnectionReset, kWsaShutdown}},
        {"closed here", Setup::kClosedHere, -1, {kWsaNotSocket}},
    };
    for (const Case& c : cases) {
        Listener listener;
        RecordingSocket socket;
        const int peer = ConnectPair(socket, listener);
        ASSERT_GE(peer, 0) << c.name;
        switch (c.setup) {
            case Setup::kIdle:
                break;
            case Setup::kDataWaiting:
                test::SendAll(peer, "x", 1);
                break;
            case Setup::kPeerClosed:
                close(peer);
                break;
            case Setup::kPeerReset:
                test::ResetAndClose(peer);
                break;
            case Setup::kClosedHere:
                socket.Close();
                break;
        }
        // Give the loopback a moment to carry the change; nothing is pumped,
        // so nothing is read.
        int result = socket.Receive(nullptr, 0);
        for (int i = 0; i < 100 && c.setup != Setup::kIdle && result == -1 &&
                        LastSocketError() == kWsaWouldBlock;
             ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            result = socket.Receive(nullptr, 0);
        }
        EXPECT_EQ(result, c.result) << c.name;
        if (result == -1) {
            EXPECT_NE(std::find(c.errors.begin(), c.errors.end(), LastSocketError()),
                      c.errors.end())
                << c.name << " error " << LastSocketError();
        }
        if (c.setup == Setup::kDataWaiting) {
            char byte = 0;
            EXPECT_EQ(socket.Receive(&byte, 1), 1);
            EXPECT_EQ(byte, 'x');
        }
        if (c.setup == Setup::kIdle || c.setup == Setup::kDataWaiting ||
            c.setup == Setup::kClosedHere) {
            close(peer);
        }
    }
}

// The liveness probe runs on another thread while the owner closes and
// replaces its socket; the probe must never reach a replaced descriptor.
TEST(AsyncSocketTest, ProbeFromAnotherThreadWhileTheSocketIsReplaced) {
    Listener listener;
    RecordingSocket socket;
    std::atomic<bool> stop{false};
    std::atomic<int> unexpected{0};
    ASSERT_TRUE(socket.Create(kReadConnectClose));
    std::thread prober([&] {
        while (!stop.load()) {
            const int result = socket.Receive(nullptr, 0);
            const int error = LastSocketError();
            const bool known = error == kWsaNotSocket || error == kWsaNotConnected ||
                               error == kWsaWouldBlock || error == kWsaShutdown ||
                               error == kWsaConnectionReset;
            if (result != -1 || !known) {
                ++unexpected;
            }
        }
    });
    for (int i = 0; i < 200; ++i) {
        socket.Close();
        ASSERT_TRUE(socket.Create(kReadConnectClose));
        if (i % 20 == 0) {
            socket.Connect("127.0.0.1", listener.port());
            const int peer = listener.Accept();
            close(peer);
        }
    }
    stop = true;
    prober.join();
    socket.Close();
    PumpFor(50);
    EXPECT_EQ(unexpected.load(), 0);
}

}  // namespace
}  // namespace platform
