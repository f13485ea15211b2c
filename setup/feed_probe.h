// One connection to a port of the feed client on 127.0.0.1, for the
// connection check: connect, send, and read lines, each step waiting at most
// the time it is given while the thread's other messages keep running.
#pragma once

#include <cstdint>
#include <string>

#include "platform/async_socket.h"

namespace orvella {

class CFeedProbe : private platform::CAsyncSocket {
  public:
    ~CFeedProbe() override;

    // True once connected; false with Failure() when refused, failed or not
    // done within timeoutMs.
    bool Open(uint16_t port, int timeoutMs);
    // Sends all of text; false with Failure().
    bool SendText(const std::string& text);
    // The next line without its line end; false with Failure() when the
    // connection ends or no line comes within timeoutMs.
    bool ReadLine(std::string* line, int timeoutMs);
    // What went wrong last, in words ("connection refused", "no answer
    // within 3 s", "the connection was closed").
    const std::string& Failure() const { return m_failure; }

  private:
    void OnConnect(int error) override;
    void OnReceive(int error) override;
    void OnClose(int error) override;
    // Runs the thread's messages until done() holds or timeoutMs has passed.
    template <typename Done>
    bool WaitUntil(Done done, int timeoutMs);
    // Takes what has arrived into m_pending.
    void Drain();

    bool m_connectDone = false;
    int m_connectError = 0;
    bool m_closed = false;
    std::string m_pending;
    std::string m_failure;
};

}  // namespace orvella
