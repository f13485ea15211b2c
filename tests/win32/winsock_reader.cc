// winsock_reader.exe, the Windows history benchmark's baseline: the least a
// Windows program does to take a history reply. Connects to 127.0.0.1 at PORT,
// sends REQUEST with CR LF, and counts the reply's line feeds in one recv loop
// into a reused 128 KiB buffer until the end line "!ENDMSG!" has arrived.
// Prints "lines N seconds S", S from before the connect to the end line.
//
//   winsock_reader PORT REQUEST
#include <winsock2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: winsock_reader PORT REQUEST\n");
        return 2;
    }
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return 1;
    }
    const auto begin = std::chrono::steady_clock::now();
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(std::atoi(argv[1])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s == INVALID_SOCKET ||
        connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "winsock_reader: connect failed (%d)\n", WSAGetLastError());
        return 1;
    }
    const std::string request = std::string(argv[2]) + "\r\n";
    send(s, request.data(), static_cast<int>(request.size()), 0);

    constexpr char kEnd[] = "!ENDMSG!";
    constexpr size_t kKeep = sizeof kEnd - 2;  // an end line cut across reads
    std::vector<char> buffer(kKeep + 131072);
    size_t kept = 0;
    long lines = 0;
    for (;;) {
        const int n = recv(s, buffer.data() + kept, static_cast<int>(buffer.size() - kept), 0);
        if (n <= 0) {
            break;
        }
        const char* from = buffer.data();
        const char* to = buffer.data() + kept + n;
        lines += std::count(from + kept, to, '\n');
        if (std::search(from, to, kEnd, kEnd + sizeof kEnd - 1) != to) {
            break;
        }
        kept = std::min<size_t>(kKeep, static_cast<size_t>(to - from));
        std::memmove(buffer.data(), to - kept, kept);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    closesocket(s);
    WSACleanup();
    std::printf("lines %ld seconds %.3f\n", lines, seconds);
    return 0;
}
