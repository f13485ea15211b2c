#include "tests/plugin/boundary/local_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "testing/loopback.h"

namespace orvella::test {

CLocalServer::CLocalServer(uint16_t port, std::vector<std::string> chunks, int holdMs)
    : m_chunks(std::move(chunks)), m_holdMs(holdMs) {
    m_listener = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in address = testing::LoopbackAddress(port);
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(m_listener, 1) != 0) {
        close(m_listener);
        m_listener = -1;
        return;
    }
    socklen_t size = sizeof(address);
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

CLocalServer::~CLocalServer() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_listener >= 0) {
        close(m_listener);
    }
}

void CLocalServer::Serve() {
    pollfd waiting{m_listener, POLLIN, 0};
    if (poll(&waiting, 1, 10000) != 1) {
        return;
    }
    const int peer = accept(m_listener, nullptr, nullptr);
    if (peer < 0) {
        return;
    }
    for (const std::string& chunk : m_chunks) {
        send(peer, chunk.data(), chunk.size(), MSG_NOSIGNAL);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_holdMs);
    char buffer[256];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd readable{peer, POLLIN, 0};
        if (poll(&readable, 1, 20) == 1) {
            if (recv(peer, buffer, sizeof(buffer), 0) <= 0) {
                m_clientClosedFirst = true;
                break;
            }
        }
    }
    close(peer);
}

bool CLocalServer::ClientClosedFirst() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return m_clientClosedFirst;
}

bool PortIsListening(uint16_t port) {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = testing::LoopbackAddress(port);
    const bool connected =
        connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    close(probe);
    return connected;
}

uint16_t UnusedPort() {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = testing::LoopbackAddress(0);
    socklen_t size = sizeof(address);
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    close(probe);
    return ntohs(address.sin_port);
}

}  // namespace orvella::test
