#include "tests/setup/http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>

namespace orvella::test {

namespace {

bool SendAll(int socket, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(socket, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

int BindLoopback(int* port) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    socklen_t length = sizeof(address);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    return listener;
}

}  // namespace

CHttpTestServer::CHttpTestServer() {
    m_listener = BindLoopback(&m_port);
    ::listen(m_listener, 16);
    m_acceptor = std::thread([this] { Serve(); });
}

CHttpTestServer::~CHttpTestServer() {
    m_stop = true;
    m_acceptor.join();
    for (std::thread& worker : m_workers)
        worker.join();
    ::close(m_listener);
}

int CHttpTestServer::UnusedPort() {
    int port = 0;
    ::close(BindLoopback(&port));
    return port;
}

void CHttpTestServer::Route(const std::string& path, Response response) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_routes[path] = std::make_shared<const Response>(std::move(response));
}

std::vector<std::string> CHttpTestServer::Requests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void CHttpTestServer::Serve() {
    while (!m_stop) {
        pollfd waiting{m_listener, POLLIN, 0};
        if (::poll(&waiting, 1, 50) <= 0)
            continue;
        const int connection = ::accept(m_listener, nullptr, nullptr);
        if (connection < 0)
            continue;
        m_workers.emplace_back([this, connection] { Handle(connection); });
    }
}

void CHttpTestServer::Handle(int connection) {
    std::string head;
    char buffer[4096];
    // Bounded: a request head larger than 64 KB or a client silent for five
    // seconds ends the connection.
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536 && !m_stop) {
        pollfd waiting{connection, POLLIN, 0};
        if (::poll(&waiting, 1, 5000) <= 0)
            break;
        const ssize_t received = ::recv(connection, buffer, sizeof(buffer), 0);
        if (received <= 0)
            break;
        head.append(buffer, static_cast<size_t>(received));
    }
    const size_t pathStart = head.find(' ');
    const size_t pathEnd = head.find(' ', pathStart + 1);
    const std::string path = pathStart == std::string::npos || pathEnd == std::string::npos
                                 ? std::string()
                                 : head.substr(pathStart + 1, pathEnd - pathStart - 1);
    static const Response kNotFound{404, "Not Found", {}, "not found"};
    std::shared_ptr<const Response> route;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(head);
        const auto found = m_routes.find(path);
        if (found != m_routes.end())
            route = found->second;
    }
    const Response& response = route ? *route : kNotFound;
    std::string reply = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason;
    if (response.announceLength)
        reply += "\r\nContent-Length: " + std::to_string(response.body.size());
    reply += "\r\nConnection: close\r\n";
    for (const std::string& header : response.headers)
        reply += header + "\r\n";
    reply += "\r\n";
    const size_t bodyBytes =
        response.cutAfter < response.body.size() ? response.cutAfter : response.body.size();
    // Waits up to ms; false when the client has closed the connection.
    auto pause = [&](int ms) {
        pollfd closed{connection, POLLIN, 0};
        return ms <= 0 || m_stop || ::poll(&closed, 1, ms) == 0;
    };
    if (response.trickleMs > 0) {
        const size_t quickBytes = response.trickleHead ? 0 : reply.size();
        reply.append(response.body, 0, bodyBytes);
        if (SendAll(connection, reply.data(), quickBytes)) {
            // Until the client gives up (the send fails) or the server stops.
            for (size_t i = quickBytes; i < reply.size() && !m_stop; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(response.trickleMs));
                if (!SendAll(connection, reply.data() + i, 1))
                    break;
            }
        }
    } else {
        bool open = pause(response.headDelayMs) && SendAll(connection, reply.data(), reply.size());
        const size_t step = response.stepBytes > 0 ? response.stepBytes : bodyBytes;
        for (size_t sent = 0; open && sent < bodyBytes; sent += step) {
            if (sent > 0 && !pause(response.stepDelayMs))
                break;
            const size_t size = bodyBytes - sent < step ? bodyBytes - sent : step;
            open = SendAll(connection, response.body.data() + sent, size);
        }
    }
    ::shutdown(connection, SHUT_RDWR);
    ::close(connection);
}

}  // namespace orvella::test
