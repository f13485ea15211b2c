// A stand-in for the feed client's lookup port: listens on 127.0.0.1 (any
// free port), takes one connection, records the request line and answers it
// with a scripted reply.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace orvella::test {

class CLookupStandIn {
  public:
    enum class Ending {
        kClose,     // close the connection after the reply
        kHoldOpen,  // keep it open until the stand-in is destroyed
    };

    // pieces are sent one after the other, pauseMs apart.
    CLookupStandIn(std::vector<std::string> pieces, Ending ending, int pauseMs = 20);
    ~CLookupStandIn();

    uint16_t port() const { return m_port; }
    // The request line as received (CR LF included); waits for the
    // connection's end of the request for at most a few seconds.
    std::string Request();

  private:
    void Serve();

    std::vector<std::string> m_pieces;
    Ending m_ending;
    int m_pauseMs;
    int m_listener = -1;
    int m_wakeup[2] = {-1, -1};
    uint16_t m_port = 0;
    std::string m_request;
    bool m_requestDone = false;
    std::thread m_thread;
};

// A port on 127.0.0.1 where nothing listens.
uint16_t UnusedPort();

}  // namespace orvella::test
