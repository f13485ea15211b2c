// winsock_reader.exe, the Windows benchmarks' baseline: the least a Windows
// program does to take the feed client's replies. One blocking socket to
// 127.0.0.1 at PORT and one recv loop into a reused 128 KiB buffer.
//
//   winsock_reader PORT REQUEST
//     sends REQUEST with CR LF and counts the reply's line feeds until the
//     end line "!ENDMSG!" has arrived. Prints "lines N seconds S", S from
//     before the connect to the end line.
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

// Receives until the peer closes, a receive fails or onRead says stop. Each
// read lands in the reused buffer after the bytes kept from the one before;
// onRead(text, kept) sees both (the new bytes begin at kept) and returns how
// many bytes of the text's end to keep (at most kKeep), or -1 to stop.
template <typename OnRead>
void ReceiveLoop(SOCKET s, OnRead&& onRead) {
    std::vector<char> buffer(kKeep + 131072);
    size_t kept = 0;
    for (;;) {
        const int n = recv(s, buffer.data() + kept, static_cast<int>(buffer.size() - kept), 0);
        if (n <= 0) {
            return;
        }
        const size_t size = kept + static_cast<size_t>(n);
        const long keep = onRead(std::string_view(buffer.data(), size), kept);
        if (keep < 0) {
            return;
        }
        kept = std::min({static_cast<size_t>(keep), kKeep, size});
        std::memmove(buffer.data(), buffer.data() + size - kept, kept);
    }
}

int History(const char* port, const std::string& request) {
    const auto begin = Clock::now();
    const SOCKET s = ConnectLoopback(port);
    if (s == INVALID_SOCKET || !SendAll(s, request + "\r\n")) {
        return 1;
    }
    constexpr std::string_view kEnd = "!ENDMSG!";
    long lines = 0;
    ReceiveLoop(s, [&](std::string_view text, size_t kept) -> long {
        lines += std::count(text.begin() + static_cast<std::ptrdiff_t>(kept), text.end(), '\n');
        // An end line cut across reads is found with the kept bytes.
        return text.find(kEnd) != std::string_view::npos ? -1 : static_cast<long>(kEnd.size() - 1);
    });
    const double seconds = Seconds(begin);
    closesocket(s);
    std::printf("lines %ld seconds %.3f\n", lines, seconds);
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
    if (!levelOne && argc != 3) {
        std::fprintf(stderr,
                     "usage: winsock_reader PORT REQUEST\n"
                     "       winsock_reader --level-one PORT SECONDS SYMBOL...\n");
        return 2;
    }
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return 1;
    }
    const int status = levelOne ? LevelOne(argv[2], std::atof(argv[3]), argc - 4, argv + 4)
                                : History(argv[1], argv[2]);
    WSACleanup();
    return status;
}
