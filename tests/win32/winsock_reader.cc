// winsock_reader.exe, the Windows benchmarks' baseline: the least a Windows
// program does to take the feed client's replies. One socket to 127.0.0.1 at
// PORT and one recv at a time into a reused 128 KiB buffer.
//
//   winsock_reader PORT REQUEST
//     sends REQUEST with CR LF and counts the reply's line feeds in one
//     blocking recv loop until the end line "!ENDMSG!" has arrived. Prints
//     "lines N seconds S", S from before the connect to the end line.
//   winsock_reader --notified PORT REQUEST
//     the same, with the reads the plug-in makes: the socket's read
//     notifications go to a message-only window (WSAAsyncSelect), each one
//     dispatched to the window makes one recv of at most 131071 bytes, and
//     each read is widened with the code page. What this costs beyond the
//     plain loop is the emulator's price of the notification model.
//   winsock_reader --level-one PORT SECONDS SYMBOL...
//     watches the symbols and, for SECONDS from the first byte received,
//     splits every line into its 62 fields in fresh strings (the split-only
//     client of the level-one benchmarks) and counts the trade lines, each a
//     row of a bar chart. Prints "lines N rows R seconds S".
#include <winsock2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bench/levelone/level_one_bench_lines.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

SOCKET ConnectLoopback(const char* port) {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(std::atoi(port)));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s == INVALID_SOCKET ||
        connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "winsock_reader: connect failed (%d)\n", WSAGetLastError());
        return INVALID_SOCKET;
    }
    return s;
}

bool SendAll(SOCKET s, const std::string& text) {
    return send(s, text.data(), static_cast<int>(text.size()), 0) == static_cast<int>(text.size());
}

// Bytes of the last read carried over to the front of the next one.
constexpr size_t kKeep = 4096;

// The reused receive buffer. Each read lands after the bytes kept from the
// one before; onRead(text, kept) sees both (the new bytes begin at kept) and
// returns how many bytes of the text's end to keep (at most kKeep), or -1 to
// stop.
class CReadBuffer {
  public:
    CReadBuffer() : m_buffer(kKeep + 131072) {}
    char* Free() { return m_buffer.data() + m_kept; }
    int FreeSize() const { return static_cast<int>(m_buffer.size() - m_kept); }

    // Hands the n bytes just read to onRead; false when it says stop.
    template <typename OnRead>
    bool Take(int n, OnRead& onRead) {
        const size_t size = m_kept + static_cast<size_t>(n);
        const long keep = onRead(std::string_view(m_buffer.data(), size), m_kept);
        if (keep < 0) {
            return false;
        }
        m_kept = std::min({static_cast<size_t>(keep), kKeep, size});
        std::memmove(m_buffer.data(), m_buffer.data() + size - m_kept, m_kept);
        return true;
    }

  private:
    std::vector<char> m_buffer;
    size_t m_kept = 0;
};

// Receives until the peer closes, a receive fails or onRead says stop.
template <typename OnRead>
void ReceiveLoop(SOCKET s, OnRead&& onRead) {
    CReadBuffer buffer;
    for (;;) {
        const int n = recv(s, buffer.Free(), buffer.FreeSize(), 0);
        if (n <= 0 || !buffer.Take(n, onRead)) {
            return;
        }
    }
}

// Counts a history reply's lines up to its end line.
struct CReplyCount {
    long lines = 0;
    long operator()(std::string_view text, size_t kept) {
        constexpr std::string_view kEnd = "!ENDMSG!";
        lines += std::count(text.begin() + static_cast<std::ptrdiff_t>(kept), text.end(), '\n');
        // An end line cut across reads is found with the kept bytes.
        return text.find(kEnd) != std::string_view::npos ? -1 : static_cast<long>(kEnd.size() - 1);
    }
};

constexpr UINT kSocketMessage = WM_APP + 1;

struct CNotifiedRead {
    SOCKET socket;
    CReadBuffer buffer;
    CReplyCount count;
    std::wstring text;
    bool done = false;
};

LRESULT CALLBACK NotifiedProc(HWND window, UINT id, WPARAM wparam, LPARAM lparam) {
    auto* read = reinterpret_cast<CNotifiedRead*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (id != kSocketMessage || read == nullptr || read->done) {
        return DefWindowProcW(window, id, wparam, lparam);
    }
    const int n =
        recv(read->socket, read->buffer.Free(), std::min(read->buffer.FreeSize(), 131071), 0);
    if (n > 0) {
        // Widened where the plug-in widens: the new bytes, into reused text.
        read->text.resize(static_cast<size_t>(n));
        MultiByteToWideChar(CP_ACP, 0, read->buffer.Free(), n, read->text.data(), n);
        read->done = !read->buffer.Take(n, read->count);
    } else if (n == 0 || WSAGETSELECTEVENT(lparam) == FD_CLOSE) {
        read->done = true;
    }
    return 0;
}

int History(const char* port, const std::string& request, bool notified) {
    const auto begin = Clock::now();
    CNotifiedRead read;
    read.socket = ConnectLoopback(port);
    if (read.socket == INVALID_SOCKET) {
        return 1;
    }
    HWND window = nullptr;
    if (notified) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = NotifiedProc;
        windowClass.lpszClassName = L"WinsockReaderWindow";
        RegisterClassW(&windowClass);
        window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                 nullptr, nullptr, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&read));
        read.text.reserve(131072);
        if (window == nullptr ||
            WSAAsyncSelect(read.socket, window, kSocketMessage, FD_READ | FD_CLOSE) != 0) {
            return 1;
        }
    }
    if (!SendAll(read.socket, request + "\r\n")) {
        return 1;
    }
    if (notified) {
        MSG msg;
        while (!read.done && GetMessageW(&msg, nullptr, 0, 0) > 0) {
            DispatchMessageW(&msg);
        }
    } else {
        ReceiveLoop(read.socket, read.count);
    }
    const double seconds = Seconds(begin);
    closesocket(read.socket);
    std::printf("lines %ld seconds %.3f\n", read.count.lines, seconds);
    return 0;
}

int LevelOne(const char* port, double seconds, int symbols, char** names) {
    const SOCKET s = ConnectLoopback(port);
    std::string watches;
    for (int i = 0; i < symbols; ++i) {
        watches += std::string("w") + names[i] + "\r\n";
    }
    if (s == INVALID_SOCKET || !SendAll(s, watches)) {
        return 1;
    }
    // A quiet feed still ends the run.
    const DWORD timeoutMs = 1000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
               sizeof timeoutMs);
    long lines = 0, rows = 0;
    size_t checksum = 0;
    Clock::time_point begin;
    bool started = false;
    ReceiveLoop(s, [&](std::string_view text, size_t) -> long {
        if (!started) {
            started = true;
            begin = Clock::now();
        }
        const size_t used = orvella::SplitOnlyLines(text, [&](const std::vector<std::string>& f) {
            ++lines;
            checksum += f[32].size();
            rows += f[0] == "Q" && f[17].find_first_of("tT") != std::string::npos;
        });
        return Seconds(begin) >= seconds ? -1 : static_cast<long>(text.size() - used);
    });
    const double elapsed = started ? Seconds(begin) : 0.0;
    closesocket(s);
    std::printf("lines %ld rows %ld seconds %.3f\n", lines, rows, elapsed);
    return lines > 0 && checksum > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const bool levelOne = argc >= 5 && std::strcmp(argv[1], "--level-one") == 0;
    const bool notified = argc == 4 && std::strcmp(argv[1], "--notified") == 0;
    if (!levelOne && !notified && argc != 3) {
        std::fprintf(stderr,
                     "usage: winsock_reader [--notified] PORT REQUEST\n"
                     "       winsock_reader --level-one PORT SECONDS SYMBOL...\n");
        return 2;
    }
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return 1;
    }
    const int status = levelOne ? LevelOne(argv[2], std::atof(argv[3]), argc - 4, argv + 4)
                                : History(argv[argc - 2], argv[argc - 1], notified);
    WSACleanup();
    return status;
}
