// The level-one connection's asynchronous socket: reads what arrives and
// hands the bytes to its owner, which widens them onto its pending wide text
// (so the chunk is copied once, not widened here and copied again there). A
// template over the owner's pointer type; the owner provides
// OnLevelOneBytes(std::string_view).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/async_socket.h"
#include "platform/text.h"
#include "plugin/diagnostics/log.h"
#include "plugin/levelone/message_pump.h"
#include "plugin/levelone/socket_errors.h"

namespace orvella {

// Socket buffers and the most one read takes (one byte stays free for the
// terminating zero).
inline constexpr int kLevelOneBufferSize = 131072;

template <typename TOwner>
class CCorvanSocket : public platform::CAsyncSocket {
  public:
    CCorvanSocket() = default;
    // The base class closes a socket that is still open.
    ~CCorvanSocket() override = default;

    // One receive of at most kLevelOneBufferSize - 1 bytes. More than 0: all
    // of the text, zero bytes included, goes to the owner. -1 with an error other
    // than would-block: the error is logged and the socket closed. Returns the
    // receive's result.
    int ReadAvailable();

    // Creates the socket (data, connect and close notices) and starts its
    // connect to 127.0.0.1:port. Returns Connected(): true when connected at
    // once or when the connect is under way. Runs the bounded pump before it
    // returns.
    bool Open(uint16_t port);

    // Runs the bounded message pump until this socket's close.
    void Pump() { PumpSocketMessages(*this, m_bClosed); }

    void SetOwner(TOwner owner) { m_pOwner = owner; }
    // The close notification has arrived; reset only when a new connection
    // is started.
    bool Closed() const { return m_bClosed; }
    // A connect has been started or completed; cleared by a failed connect
    // and by the close notice.
    bool Connected() const { return m_bConnected; }

    // The owner holds reads back (its store of held lines is full): a data
    // notification is only remembered, and the owner reads again once it
    // lets go. What stays unread waits in the kernel and in the feed client.
    void HoldReads(bool hold) { m_bHoldReads = hold; }
    bool ReadsHeld() const { return m_bHoldReads; }
    // A data notification came while reads were held; cleared by the call.
    bool TakeWaitingRead() { return std::exchange(m_bReadWaiting, false); }

  protected:
    void OnReceive(int error) override;
    void OnConnect(int error) override;
    void OnClose(int error) override;

  private:
    // Logs the failure text unless it repeats the last one, and keeps it.
    void NoteFailure(int code);

    bool m_bClosed = false;
    bool m_bHoldReads = false;
    bool m_bReadWaiting = false;
    std::array<char, kLevelOneBufferSize> m_receiveBuffer;
    bool m_bConnected = false;
    TOwner m_pOwner = nullptr;
    // Text of the last create or connect failure; a failure with the same
    // text as the one before is not logged again, so a feed client that is
    // not listening yet costs one log entry, not one per attempt.
    std::wstring m_strLastError;
};

template <typename TOwner>
int CCorvanSocket<TOwner>::ReadAvailable() {
    const int n = Receive(m_receiveBuffer.data(), kLevelOneBufferSize - 1, 0);
    if (n > 0) {
        m_receiveBuffer[static_cast<std::size_t>(n)] = '\0';
        // The count bounds the chunk: a zero byte is data, which the line
        // handling rejects with its line.
        if (m_pOwner != nullptr) {
            m_pOwner->OnLevelOneBytes(
                std::string_view(m_receiveBuffer.data(), static_cast<std::size_t>(n)));
        }
    } else if (n == -1) {
        const int code = platform::LastSocketError();
        if (code != platform::kWsaWouldBlock) {
            WriteLogLine(SocketErrorText(code));
            Close();
            WriteLogLine(L"Socket has been closed!");
        }
    }
    return n;
}

template <typename TOwner>
void CCorvanSocket<TOwner>::OnReceive(int error) {
    if (error != 0) {
        WriteLogLine(SocketErrorText(error));
    } else if (m_bHoldReads) {
        m_bReadWaiting = true;
    } else if (!m_bClosed) {
        ReadAvailable();
    }
    platform::CAsyncSocket::OnReceive(error);
}

template <typename TOwner>
void CCorvanSocket<TOwner>::NoteFailure(int code) {
    std::wstring text = SocketErrorText(code);
    if (text != m_strLastError) {
        WriteLogLine(text);
        m_strLastError = std::move(text);
    }
}

template <typename TOwner>
void CCorvanSocket<TOwner>::OnConnect(int error) {
    if (error == 0) {
        WriteLogLine(L"OnConnect called");
        m_strLastError.clear();
        m_bConnected = true;
    } else {
        // A failed connect leaves the connection down, so that the owner's
        // wait can start another one.
        if (SocketErrorText(error) != m_strLastError) {
            WriteLogLine(L"OnConnect called");
        }
        NoteFailure(error);
        m_bConnected = false;
    }
    platform::CAsyncSocket::OnConnect(error);
}

template <typename TOwner>
void CCorvanSocket<TOwner>::OnClose(int error) {
    m_bClosed = true;
    m_bConnected = false;
    if (error != 0) {
        WriteLogLine(SocketErrorText(error));
    }
    ShutDown(platform::kShutdownSend);
    // What arrived with the close still reaches the owner.
    while (ReadAvailable() > 0) {
    }
    ShutDown(platform::kShutdownBoth);
    Close();
    platform::CAsyncSocket::OnClose(error);
}

template <typename TOwner>
bool CCorvanSocket<TOwner>::Open(uint16_t port) {
    // A socket closed after a failed read keeps its flag, but is no
    // connection any more.
    if (m_bConnected && handle() != platform::kInvalidSocket) {
        m_strLastError.clear();
        Pump();
        return true;
    }
    // A socket left from a connect that failed at once is replaced, so that
    // the later attempt really connects again.
    if (handle() != platform::kInvalidSocket) {
        Close();
    }
    m_bClosed = false;
    const unsigned events =
        platform::kSocketEventRead | platform::kSocketEventConnect | platform::kSocketEventClose;
    if (!Create(events)) {
        NoteFailure(platform::LastSocketError());
        Pump();
        return false;
    }
    SetReceiveBufferSize(kLevelOneBufferSize);
    SetSendBufferSize(kLevelOneBufferSize);
    SetDontLinger(false);
    if (Connect("127.0.0.1", port)) {
        m_strLastError.clear();
        m_bConnected = true;
    } else {
        const int code = platform::LastSocketError();
        if (code == platform::kWsaWouldBlock) {
            // The usual outcome: OnConnect follows.
            m_bConnected = true;
        } else {
            NoteFailure(code);
        }
    }
    Pump();
    return m_bConnected;
}

}  // namespace orvella
