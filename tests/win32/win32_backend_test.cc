// What the Win32 backend adds to the contracts of platform/: the system's
// registry, code page, message queue, sockets, shell and version resources.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/async_socket.h"
#include "platform/message_box.h"
#include "platform/message_queue.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/timer_queue.h"
#include "platform/version_resource.h"
#include "testing/loopback.h"
#include "testing/seen_box.h"

namespace platform {
namespace {

using std::chrono::milliseconds;

const std::wstring kTestKey = L"Software\\OrvellaWindowsTest";

TEST(Win32RegistryTest, ValuesRoundTripThroughTheCurrentUsersHive) {
    RegDeleteTree(Hive::kCurrentUser, kTestKey);
    RegKey* key = nullptr;
    ASSERT_EQ(RegCreateKey(Hive::kCurrentUser, kTestKey + L"\\Sub", kKeyAllAccess, &key),
              kRegSuccess);
    const std::wstring text = L"C:\\Nova Scope";
    const uint32_t number = 1;
    ASSERT_EQ(RegSetValue(key, L"Root", kRegSz, reinterpret_cast<const uint8_t*>(text.c_str()),
                          static_cast<uint32_t>((text.size() + 1) * sizeof(wchar_t))),
              kRegSuccess);
    ASSERT_EQ(RegSetValue(key, L"Streaming", kRegDword, reinterpret_cast<const uint8_t*>(&number),
                          sizeof(number)),
              kRegSuccess);
    RegCloseKey(key);

    ASSERT_EQ(RegOpenKey(Hive::kCurrentUser, kTestKey + L"\\SUB", kKeyRead, &key), kRegSuccess);
    struct Case {
        const wchar_t* name;
        uint32_t bufferSize;
        long result;
        uint32_t type;
        uint32_t size;
    };
    const uint32_t textBytes = static_cast<uint32_t>((text.size() + 1) * sizeof(wchar_t));
    const Case cases[] = {
        {L"Root", 256, kRegSuccess, kRegSz, textBytes},
        {L"root", 4, kRegMoreData, kRegSz, textBytes},
        {L"Streaming", 4, kRegSuccess, kRegDword, 4},
        {L"Missing", 4, kRegFileNotFound, kRegNone, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.name, c.name + wcslen(c.name)));
        std::vector<uint8_t> buffer(c.bufferSize);
        uint32_t type = kRegNone;
        uint32_t size = c.bufferSize;
        EXPECT_EQ(RegQueryValue(key, c.name, &type, buffer.data(), &size), c.result);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(size, c.size);
    }
    std::vector<RegValueInfo> values;
    EXPECT_EQ(RegEnumValues(key, &values), kRegSuccess);
    EXPECT_EQ(values.size(), 2u);
    RegCloseKey(key);

    std::vector<std::wstring> subkeys;
    ASSERT_EQ(RegOpenKey(Hive::kCurrentUser, kTestKey, kKeyRead, &key), kRegSuccess);
    EXPECT_EQ(RegEnumSubkeys(key, &subkeys), kRegSuccess);
    EXPECT_EQ(subkeys, std::vector<std::wstring>{L"Sub"});
    RegCloseKey(key);
    EXPECT_EQ(RegDeleteTree(Hive::kCurrentUser, kTestKey), kRegSuccess);
    EXPECT_EQ(RegOpenKey(Hive::kCurrentUser, kTestKey, kKeyRead, &key), kRegFileNotFound);
}

TEST(Win32TextTest, TheSystemCodePageWithoutLookAlikes) {
    // Whatever the code page, plain ASCII survives and a character it lacks
    // becomes '?' rather than a similar letter.
    EXPECT_EQ(NarrowText(WidenText("ABC 1.5")), "ABC 1.5");
    EXPECT_EQ(NarrowText(L"a\u0100b"), "a?b");
    EXPECT_EQ(WidenText(""), L"");
}

// The plain bytes are widened apart from the system's conversion: a byte
// above 0x7F anywhere (in or after a block of sixteen, first or last) must
// give what the system's conversion of that byte alone gives (the code page
// is single-byte).
TEST(Win32TextTest, WideningMatchesTheSystemsConversion) {
    const std::wstring high = WidenText("\xE9");
    ASSERT_EQ(high.size(), 1u);
    for (const size_t size : {0u, 1u, 15u, 16u, 17u, 40u, 131071u}) {
        for (const size_t at : {size_t{0}, size_t{15}, size_t{16}, size_t{33}, size - 1, size}) {
            std::string bytes;
            std::wstring expected;
            for (size_t i = 0; i < size; ++i) {
                const char byte = i == at ? '\xE9' : (i % 61 == 0 ? '\0' : 32 + i % 95);
                bytes += byte;
                expected += i == at ? high[0] : static_cast<wchar_t>(byte);
            }
            std::wstring wide(size + 1, L'x');
            wide.resize(WidenInto(bytes, wide.data()));
            EXPECT_EQ(wide, expected) << "size " << size << ", high byte at " << at;
        }
    }
}

using orvella::testing::CSeenBox;

TEST(Win32MessageBoxTest, AnObserverStandsInForTheUser) {
    CSeenBox seen;
    SetMessageBoxObserver(&CSeenBox::Observe, &seen);
    EXPECT_EQ(MessageBox(L"Please reload this chart!", L"History", kMbIconError | kMbSystemModal),
              kIdOk);
    SetMessageBoxObserver(nullptr, nullptr);
    EXPECT_EQ(seen.caption, L"History");
    EXPECT_EQ(seen.flags, kMbIconError | kMbSystemModal);
}

TEST(Win32MessageQueueTest, PostedMessagesReachTheirHandlersInOrder) {
    struct Seen {
        std::vector<uintptr_t> values;
        static void Handle(const Message& msg, void* context) {
            static_cast<Seen*>(context)->values.push_back(msg.wparam);
        }
    } seen;
    SetMessageHandler(kUserMessage + 1, &Seen::Handle, &seen);
    const ThreadId self = CurrentThreadId();
    PostMessage(kUserMessage + 1, 1, 0);
    std::thread other([self] { PostThreadMessage(self, kUserMessage + 1, 2, 0); });
    other.join();
    Message msg;
    while (seen.values.size() < 2 && WaitMessage(&msg, 5000) == WaitResult::kMessage) {
        DispatchMessage(msg);
    }
    EXPECT_EQ(seen.values, (std::vector<uintptr_t>{1, 2}));
    EXPECT_NE(LastMessageTime(), 0u);
    SetMessageHandler(kUserMessage + 1, nullptr, nullptr);
    PostQuitMessage(3);
    ASSERT_EQ(WaitMessage(&msg, 5000), WaitResult::kQuit);
    EXPECT_EQ(msg.wparam, 3u);
}

// The test's side of each connection is the system's own socket, not the
// platform's: the shared listener on a port of the system's choice.
using orvella::testing::CLoopbackListener;
using orvella::testing::CloseSocket;
using orvella::testing::ReceiveAll;
using orvella::testing::SendAll;

class CRecordingSocket : public CAsyncSocket {
  public:
    std::vector<std::string> events;
    std::string received;

  protected:
    void OnConnect(int error) override { events.push_back("connect " + std::to_string(error)); }
    void OnReceive(int error) override {
        char buffer[64];
        const int n = Receive(buffer, sizeof(buffer));
        if (n > 0) {
            received.append(buffer, static_cast<size_t>(n));
        }
    }
    void OnClose(int error) override { events.push_back("close"); }
};

template <typename Done>
bool PumpUntil(Done done, int timeoutMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + milliseconds(timeoutMs);
    Message msg;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        if (WaitMessage(&msg, 50) == WaitResult::kMessage) {
            DispatchMessage(msg);
        }
    }
    return true;
}

TEST(Win32SocketTest, NotificationsComeThroughTheThreadsMessages) {
    CLoopbackListener listener;
    CRecordingSocket socket;
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.Connect("127.0.0.1", listener.port()));
    EXPECT_EQ(LastSocketError(), kWsaWouldBlock);
    const int peer = listener.Accept();
    ASSERT_TRUE(PumpUntil([&] { return !socket.events.empty(); }));
    EXPECT_EQ(socket.events[0], "connect 0");
    SendAll(peer, "line one\r\n", 10);
    ASSERT_TRUE(PumpUntil([&] { return socket.received.size() == 10; }));
    EXPECT_EQ(socket.received, "line one\r\n");
    // The liveness probe: a healthy idle connection would block.
    char none;
    EXPECT_EQ(socket.Receive(&none, 0), -1);
    EXPECT_EQ(LastSocketError(), kWsaWouldBlock);
    CloseSocket(peer);
    ASSERT_TRUE(PumpUntil([&] { return socket.events.size() == 2; }));
    EXPECT_EQ(socket.events[1], "close");
    socket.Close();
    EXPECT_EQ(socket.Receive(&none, 0), -1);
    EXPECT_EQ(LastSocketError(), kWsaNotSocket);
}

TEST(Win32SocketTest, BlockingSocketsReportTheSystemsErrors) {
    uint16_t closedPort;
    {
        CLoopbackListener gone;
        closedPort = gone.port();
    }
    CSocket refused;
    ASSERT_TRUE(refused.Create());
    EXPECT_FALSE(refused.Connect("127.0.0.1", closedPort));
    EXPECT_EQ(LastSocketError(), kWsaConnectionRefused);

    CLoopbackListener listener;
    CSocket client;
    ASSERT_TRUE(client.Create());
    std::thread server([&] {
        const int peer = listener.Accept();
        char request[5];
        ReceiveAll(peer, request, 5);
        SendAll(peer, request, 5);
        CloseSocket(peer);
    });
    ASSERT_TRUE(client.Connect("127.0.0.1", listener.port()));
    EXPECT_EQ(client.Send("HIT\r\n", 5), 5);
    char reply[8] = {};
    int got = 0;
    for (int n; got < 5 && (n = client.Receive(reply + got, 5 - got)) > 0;) {
        got += n;
    }
    EXPECT_EQ(std::string(reply, got), "HIT\r\n");
    server.join();
}

TEST(Win32SocketTest, NotificationsOfAClosedSocketAreDropped) {
    CLoopbackListener listener;
    CRecordingSocket socket;
    ASSERT_TRUE(socket.Create());
    socket.Connect("127.0.0.1", listener.port());
    const int peer = listener.Accept();
    SendAll(peer, "x", 1);
    std::this_thread::sleep_for(milliseconds(200));
    socket.Close();
    // The queue still holds the connect and read notices and the dead notice.
    bool sawDeadNotice = false;
    PumpUntil([&] {
        Message msg;
        while (PeekMessage(&msg)) {
            sawDeadNotice = sawDeadNotice || msg.id == kSocketDeadMessage;
            DispatchMessage(msg);
        }
        return sawDeadNotice;
    });
    EXPECT_TRUE(sawDeadNotice);
    EXPECT_TRUE(socket.events.empty());
    EXPECT_TRUE(socket.received.empty());
    CloseSocket(peer);
}

TEST(Win32TimerQueueTest, CallbacksRunAndDeletionNeverWaits) {
    std::atomic<int> calls{0};
    TimerQueue* queue = CreateTimerQueue();
    ASSERT_NE(queue, nullptr);
    auto tick = [](void* context, bool fired) { ++*static_cast<std::atomic<int>*>(context); };
    ASSERT_NE(CreateTimerQueueTimer(queue, tick, &calls, 10, 10), nullptr);
    for (int waited = 0; calls.load() < 3 && waited < 5000; waited += 10) {
        std::this_thread::sleep_for(milliseconds(10));
    }
    EXPECT_GE(calls.load(), 3);
    // Without a completion event the system may report ERROR_IO_PENDING (a
    // callback still running; some versions report it always).
    if (!DeleteTimerQueue(queue)) {
        EXPECT_EQ(LastPlatformError(), kErrorIoPending);
    }
    const int after = calls.load();
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_LE(calls.load(), after + 1);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(Win32ShellTest, EachArgumentArrivesWholeAtTheLauncher) {
    const std::string record = std::string(std::getenv("TEMP")) + "\\orvella-launch.txt";
    _putenv_s("ORVELLA_LAUNCH_RECORD", record.c_str());
    const std::vector<std::string> passwords = {
        "plain",
        "two words",
        "quote\"inside",
        "trailing\\",
        "back\\\\slashes \\\"q\"",
        "-leading-dash",
        "",
        " ",
        "tab\there",
    };
    for (const std::string& password : passwords) {
        SCOPED_TRACE(password);
        std::remove(record.c_str());
        const std::vector<std::string> args = {"-product", "NOVA_SCOPE", "-version",  "1.0.1.1",
                                               "-login",   "user 1",     "-password", password};
        const ShellResult result = ShellExecute(ORVELLA_LAUNCHER_PATH, args);
        ASSERT_GT(result.instance, 32) << result.errorCode;
        std::string expected;
        for (const std::string& arg : args) {
            expected += arg + "\n";
        }
        std::string got;
        for (int waited = 0; got.empty() && waited < 20000; waited += 20) {
            std::this_thread::sleep_for(milliseconds(20));
            got = ReadFile(record);
        }
        EXPECT_EQ(got, expected);
    }
}

TEST(Win32ShellTest, AMissingProgramReportsFileNotFound) {
    const ShellResult result = ShellExecute("NoSuchLauncher.exe", {"-product", "x"});
    EXPECT_LE(result.instance, 32);
    EXPECT_EQ(result.errorCode, 2);
}

std::string VersionString(const std::vector<uint8_t>& data, const std::wstring& key) {
    const void* value = nullptr;
    uint32_t size = 0;
    if (!VerQueryValue(data, L"\\StringFileInfo\\040904B0\\" + key, &value, &size)) {
        return "<none>";
    }
    return std::string(static_cast<const char*>(value));
}

TEST(Win32VersionTest, ThePlugInCarriesItsVersionResource) {
    const std::wstring dll = WidenText(ORVELLA_PLUGIN_PATH);
    std::vector<uint8_t> data;
    ASSERT_TRUE(GetFileVersionInfo(dll, &data));
    const void* value = nullptr;
    uint32_t size = 0;
    ASSERT_TRUE(VerQueryValue(data, L"\\VarFileInfo\\Translation", &value, &size));
    ASSERT_EQ(size, 4u);
    EXPECT_EQ(*static_cast<const uint32_t*>(value), 0x04B00409u);
    ASSERT_TRUE(VerQueryValue(data, L"\\", &value, &size));
    EXPECT_EQ(static_cast<const uint32_t*>(value)[0], 0xFEEF04BDu);
    EXPECT_EQ(VersionString(data, L"FileVersion"), ORVELLA_VERSION);
    EXPECT_EQ(VersionString(data, L"OriginalFilename"), "OrvellaForNST.dll");
    EXPECT_EQ(VersionString(data, L"Missing"), "<none>");
    EXPECT_EQ(GetFileVersionInfoSize(L"C:\\no\\such.dll"), 0u);
}

}  // namespace
}  // namespace platform
