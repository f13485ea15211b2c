// A small threaded HTTP/1.1 server on 127.0.0.1 for the download tests and
// benchmark: fixed responses by path, one connection per request.
#pragma once

#include <atomic>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "testing/setup/test_os.h"

namespace orvella::test {

class CHttpTestServer {
  public:
    struct Response {
        int status = 200;
        std::string reason = "OK";
        std::vector<std::string> headers;  // "Name: value", without line end
        std::string body;
        // Sends only this many body bytes (Content-Length still announces
        // the whole body) and closes the connection.
        size_t cutAfter = std::string::npos;
        // When above 0: the reply goes out one byte every trickleMs
        // milliseconds, from its first byte (trickleHead) or from the body's.
        int trickleMs = 0;
        bool trickleHead = false;
        // A slow server: waits this long before the head, then sends the
        // body in pieces of stepBytes (0: at once) with stepDelayMs between
        // them. The wait ends early when the client goes away.
        int headDelayMs = 0;
        size_t stepBytes = 0;
        int stepDelayMs = 0;
        // false: no Content-Length; the end of the body is the connection's.
        bool announceLength = true;
    };

    // Binds an ephemeral port on 127.0.0.1 and starts serving.
    CHttpTestServer();
    ~CHttpTestServer();

    int Port() const { return m_port; }
    // Answers GET path with response; unknown paths get 404.
    void Route(const std::string& path, Response response);
    // Request heads received so far, in order.
    std::vector<std::string> Requests();

    // A port on 127.0.0.1 where nothing listens.
    static int UnusedPort();

  private:
    void Serve();
    void Handle(TestSocket connection);

    TestSocket m_listener = kNoSocket;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<const Response>> m_routes;
    std::vector<std::string> m_requests;
    std::vector<std::thread> m_workers;
    std::thread m_acceptor;
};

}  // namespace orvella::test
