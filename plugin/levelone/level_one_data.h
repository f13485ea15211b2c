// The level-one data object: the one streaming connection, its waits, the
// text that waits for the rest of its line and the lines held during a
// history load. The watch list, the summary and update lines
// (CLevelOneMessages) and the reconnect (CLevelOneReconnect) are its parts.
// Everything but ProbeLevelOne runs on the thread that created the socket
// (the host's calling thread).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "plugin/levelone/corvan_socket.h"
#include "plugin/levelone/level_one_messages.h"
#include "plugin/levelone/level_one_reconnect.h"
#include "plugin/levelone/watch_list.h"

namespace orvella {

class CLevelOneData final : private CReconnectLink {
  public:
    // Connect attempts and customer-information waits of one watch, and the
    // sleep between them.
    static constexpr int kWaitAttempts = 320;
    static constexpr uint32_t kWaitSleepMs = 250;

    // No socket is created until the first watch or unwatch.
    CLevelOneData();
    // Empties the watch list; the socket closes if it is still open.
    ~CLevelOneData();

    CLevelOneData(const CLevelOneData&) = delete;
    CLevelOneData& operator=(const CLevelOneData&) = delete;

    // Adds the interval to the symbol's entry (creating it), waits for the
    // connection and the feed client's customer-information line (at most
    // kWaitAttempts sleeps each), and sends "w<symbol>\r\n". True when the
    // command was sent. The entry stays whatever the outcome.
    bool WatchSymbol(const std::wstring& symbol, float interval);

    // Removes the first entry equal to interval; when the symbol has none
    // left it leaves the list and "r<symbol>\r\n" is sent if the socket is
    // connected. False when the symbol was not watched.
    bool UnwatchSymbol(const std::wstring& symbol, float interval);

    // Appends an entry for interval (summary not yet delivered).
    static void AddInterval(CSymbolInfo& info, float interval) {
        CWatchList::AddInterval(info, interval);
    }

    // Opens the connection unless it is up; runs the pump and returns whether
    // it is up. A connect that fails before the feed client's customer-
    // information line leaves it down (the watch's wait tries again); once
    // that line was seen it stays up.
    bool ConnectLevelOne();

    // A zero-length receive: true when it failed with a code other than
    // would-block. Safe from any thread.
    bool ProbeLevelOne();

    // Takes one received chunk: cuts it into lines at line feeds (a carriage
    // return stays on its line), dispatches each, keeps the unfinished rest,
    // then runs the pump. A line longer than kMaxFeedLineChars or holding a
    // zero byte is dropped as malformed, and the lines around it are handled.
    void OnLevelOneData(std::wstring_view chunk);

    // The same for a chunk as the socket received it, with the same outcome
    // as for its widened text: its lines are cut where they lie and only the
    // unfinished rest is kept. Update lines are read as bytes; the others are
    // widened one at a time and dispatched.
    void OnLevelOneBytes(std::string_view received);

    // Handles one line by its first character: E logged, S checked for the
    // customer-information and connection texts, P and Q handled (or held in
    // the deferred-line queue while a history load runs); others ignored.
    void DispatchLevelOneLine(std::wstring_view line);

    // Once no history load runs: reads the socket again if the held lines'
    // bound had stopped it. Host thread, outside the socket's notifications.
    void ResumeReading();

    // Once no history load runs: hands the host every held line, oldest
    // first, then reads on.
    void ReleaseHeldLines();

    // One step of the reconnect (the Reconnect setting), on the host's thread
    // while no history load runs; does nothing while a watch, an unwatch or
    // received data is being handled. Notices a connection lost after the
    // customer-information line, connects again when the back-off is over
    // (1 s, doubling up to 30 s), and once the new connection's customer-
    // information line has come sends one watch per watched symbol and
    // returns true.
    bool ReconnectStep();

    // Every watched series as symbol and interval, in list order.
    std::vector<std::pair<std::wstring, float>> WatchedSeries() const {
        return m_watchList.Series();
    }

    // The watch list entry of symbol (exact, case-sensitive), or null.
    CSymbolInfo* FindSymbol(std::wstring_view symbol) { return m_watchList.Find(symbol); }

    // Lines dropped because they cannot be read (CLevelOneMessages). Only the
    // first is logged.
    int64_t MalformedLineCount() const { return m_messages.MalformedLineCount(); }

  private:
    friend class CLevelOneTestHelper;

    // Cuts the complete lines of the pending text from its character search
    // on (the text before it holds no line feed) and dispatches them.
    // mayHoldZero: the text may hold a zero byte.
    void HandlePendingLines(std::size_t search, bool mayHoldZero);
    // The bytes path: the complete lines of received (the first one begun
    // in the pending bytes), then keeps the unfinished rest.
    void HandleByteLines(std::string_view received, bool mayHoldZero);
    void HandleByteLine(std::string_view line, bool mayHoldZero);
    // The pending text as wide characters, whichever path left it.
    std::wstring PendingText() const;
    // Runs the pump after received data unless a call further up does.
    void PumpAfterData();
    void HandleHeldOrNewLine(std::wstring_view line);
    bool HoldingLines() const;
    void HoldLine(std::wstring_view line);
    void DrainHeldLines();
    uint16_t LevelOnePort();
    void Pump() { m_socket.Pump(); }
    void SendCommand(char command, std::wstring_view symbol);

    // The reconnect's view of the connection.
    bool Greeted() const override { return m_bCustomerInfo != 0; }
    bool LinkUp() const override { return m_bLevelOneUp; }
    bool ConnectionGone() const override;
    void ForgetConnection() override;
    void StartConnect() override { ConnectLevelOne(); }
    // Refused, reset or closed before the customer-information line: the
    // connection never came up, so the next attempt opens a new one. Once
    // that line was seen the connection counts as made.
    void NoteFailedConnect() override;
    void DropConnection() override;
    void WatchAll() override;

    CCorvanSocket<CLevelOneData*> m_socket;
    bool m_bLevelOneUp = false;
    std::wstring m_strPending;
    // The unfinished line of the bytes path (only one of the two pending
    // texts holds anything), and the wide text of its last line that is no
    // update line (kept for its capacity).
    std::string m_strPendingBytes;
    std::wstring m_strLine;
    CWatchList m_watchList;
    CLevelOneMessages m_messages{m_watchList};
    CLevelOneReconnect m_reconnect{*this};
    int32_t m_bCustomerInfo = 0;
    // A line grew past kMaxFeedLineChars: its text was dropped and the rest
    // up to its line feed is skipped.
    bool m_bSkippingLongLine = false;
    // The pending text may hold a zero byte.
    bool m_bPendingHoldsZero = false;
    // OnLevelOneData is running its pump.
    bool m_bPumpingData = false;
    // Connections started (each failed one is followed by another).
    int m_nConnectAttempts = 0;

    // Watches, unwatches and received data being handled (they pump, and the
    // reconnect must not replace the socket under them).
    int m_nBusy = 0;

    // Shipped values; CLevelOneTestHelper shortens them.
    int m_nWaitAttempts = kWaitAttempts;
    uint32_t m_nWaitSleepMs = kWaitSleepMs;
    // 0: read the port from the settings.
    uint16_t m_nPortOverride = 0;
};

}  // namespace orvella
