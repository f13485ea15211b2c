#include "testing/setup/http_test_server.h"

#include <chrono>
#include <cstring>
#include <memory>

#include "testing/setup/test_os.h"

namespace orvella::test {

CHttpTestServer::CHttpTestServer() {
    m_listener = ListenOnLoopback(&m_port);
    m_acceptor = std::thread([this] { Serve(); });
}

CHttpTestServer::~CHttpTestServer() {
    m_stop = true;
    m_acceptor.join();
    for (std::thread& worker : m_workers)
        worker.join();
    CloseSocket(m_listener);
}

int CHttpTestServer::UnusedPort() {
    int port = 0;
    CloseSocket(ListenOnLoopback(&port));
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
        if (!WaitReadable(m_listener, 50))
            continue;
        const TestSocket connection = AcceptConnection(m_listener);
        if (connection == kNoSocket)
            continue;
        m_workers.emplace_back([this, connection] { Handle(connection); });
    }
}

void CHttpTestServer::Handle(TestSocket connection) {
    std::string head;
    char buffer[4096];
    // Bounded: a request head larger than 64 KB or a client silent for five
    // seconds ends the connection.
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536 && !m_stop) {
        if (!WaitReadable(connection, 5000))
            break;
        const long received = ReceiveSome(connection, buffer, sizeof(buffer));
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
    auto pause = [&](int ms) { return ms <= 0 || m_stop || !WaitReadable(connection, ms); };
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
    CloseSocket(connection);
}

}  // namespace orvella::test
