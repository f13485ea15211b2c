// A loopback relay between a level-one client and orvella-feed-sim for the
// end-to-end streaming benchmark. It forwards both directions unchanged,
// counts the lines it passes to the client and, when asked, remembers for
// every trade-carrying update line (field 17 holds t or T) its symbol, the
// feed's send stamp (field 40, CLOCK_MONOTONIC microseconds) and its trade
// price (field 32), so that a host can match the rows it receives for a
// symbol, in order, with the lines they came from. A line is remembered after
// it has been passed on, so that this work is no part of the client's delay;
// the host matches its rows once it has stopped measuring.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "testing/loopback.h"

namespace orvella {

// The monotonic clock in microseconds, as the feed stamps its lines.
int64_t MonotonicMicros();

struct CTradeStamp {
    int64_t sentMicros = 0;
    double price = 0.0;
};

class CStampRelay {
  public:
    CStampRelay() = default;
    ~CStampRelay();
    CStampRelay(const CStampRelay&) = delete;
    CStampRelay& operator=(const CStampRelay&) = delete;

    // Listens on 127.0.0.1 (a free port) and starts the relay thread, which
    // serves one client, connected to upstreamPort on 127.0.0.1 when the
    // client arrives. With holdAfterWatch the relay stops taking data from
    // the feed once it has passed the client's first watch command on, until
    // Release(): the feed's own back-pressure then pauses its stream while
    // the client sets up. False when it cannot listen.
    bool Start(uint16_t upstreamPort, bool recordStamps, bool holdAfterWatch);
    void Release() { m_released = true; }
    // Ends the thread and closes every socket.
    void Stop();
    uint16_t Port() const { return m_port; }

    // Lines passed to the client so far (every complete line).
    int64_t Lines() const { return m_lines.load(std::memory_order_relaxed); }

    // Takes the oldest remembered trade line of symbol; false when none is
    // left. Safe from any thread.
    bool PopTrade(std::string_view symbol, CTradeStamp* trade);
    // Reads the remembered trade line of symbol that index lines follow the
    // oldest, without taking it; false when there is none. Safe from any
    // thread.
    bool PeekTrade(std::string_view symbol, size_t index, CTradeStamp* trade);
    // Trade lines remembered and not yet taken.
    size_t PendingTrades();

  private:
    void Run();
    void Relay(int client, int upstream);
    void NoteLines(const char* data, size_t size);
    void NoteLine(std::string_view line);

    std::unique_ptr<testing::CLoopbackListener> m_listener;
    uint16_t m_port = 0;
    uint16_t m_upstreamPort = 0;
    bool m_recordStamps = false;
    bool m_holdAfterWatch = false;
    std::atomic<bool> m_released{false};
    std::atomic<bool> m_stop{false};
    std::atomic<int64_t> m_lines{0};
    std::thread m_thread;
    // The unfinished last line of the previous read, when stamps are kept.
    std::string m_partial;
    std::mutex m_lock;
    std::unordered_map<std::string, std::deque<CTradeStamp>> m_trades;
};

}  // namespace orvella
