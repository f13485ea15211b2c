// The level-one connection's asynchronous socket: reads what arrives, turns
// it into wide text and hands it to its owner. A template over the owner's
// pointer type; the owner provides OnLevelOneData(std::wstring_view).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

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
    CCorvanSocket() { m_strChunk.reserve(kLevelOneBufferSize); }
    // The base class closes a socket that is still open.
    ~CCorvanSocket() override = default;

    // One receive of at most kLevelOneBufferSize - 1 bytes. More than 0: all
    // of the text, zero bytes included, goes to the owner. -1 with an error other
    // than would-block: the error is logged and the socket closed. Returns the
    // receive's result.
    int ReadAvailable();

    // The close notification has arrived; never reset.
    bool m_bClosed = false;
    // Text of the most recent read.
    std::wstring m_strChunk;
    std::array<char, kLevelOneBufferSize> m_receiveBuffer;
    // A connect has been started or completed; cleared by the close notice.
    bool m_bConnected = false;
    TOwner m_pOwner = nullptr;
    // Text of the last create or connect failure.
    std::wstring m_strLastError;

  protected:
    void OnReceive(int error) override;
    void OnConnect(int error) override;
    void OnClose(int error) override;
};

// Creates the socket (data, connect and close notices) and starts its
// connect to 127.0.0.1:port. Returns m_bConnected: true when connected at
// once or when the connect is under way. Runs the bounded pump before it
// returns.
template <typename TOwner>
bool ConnectLevelOneSocket(CCorvanSocket<TOwner>& socket, uint16_t port);

template <typename TOwner>
int CCorvanSocket<TOwner>::ReadAvailable() {
    const int n = Receive(m_receiveBuffer.data(), kLevelOneBufferSize - 1, 0);
    if (n > 0) {
        m_receiveBuffer[static_cast<std::size_t>(n)] = '\0';
        // The count bounds the chunk: a zero byte is data, which the line
        // handling rejects with its line.
        m_strChunk.clear();
        platform::AppendWidened(
            std::string_view(m_receiveBuffer.data(), static_cast<std::size_t>(n)), &m_strChunk);
        if (m_pOwner != nullptr) {
            m_pOwner->OnLevelOneData(m_strChunk);
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
    } else if (!m_bClosed) {
        ReadAvailable();
    }
    platform::CAsyncSocket::OnReceive(error);
}

template <typename TOwner>
void CCorvanSocket<TOwner>::OnConnect(int error) {
    WriteLogLine(L"OnConnect called");
    // Set also for a failed connect: the connection is made once per process.
    m_bConnected = true;
    if (error != 0) {
        WriteLogLine(SocketErrorText(error));
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
bool ConnectLevelOneSocket(CCorvanSocket<TOwner>& socket, uint16_t port) {
    if (socket.m_bConnected) {
        socket.m_strLastError.clear();
        PumpSocketMessages(socket, socket.m_bClosed);
        return true;
    }
    // A socket left from a connect that failed at once is replaced, so that
    // the later attempt really connects again.
    if (socket.handle() != platform::kInvalidSocket) {
        socket.Close();
    }
    const unsigned events =
        platform::kSocketEventRead | platform::kSocketEventConnect | platform::kSocketEventClose;
    if (!socket.Create(events)) {
        socket.m_strLastError = SocketErrorText(platform::LastSocketError());
        WriteLogLine(socket.m_strLastError);
        PumpSocketMessages(socket, socket.m_bClosed);
        return false;
    }
    socket.SetReceiveBufferSize(kLevelOneBufferSize);
    socket.SetSendBufferSize(kLevelOneBufferSize);
    socket.SetDontLinger(false);
    if (socket.Connect("127.0.0.1", port)) {
        socket.m_strLastError.clear();
        socket.m_bConnected = true;
    } else {
        const int code = platform::LastSocketError();
        if (code == platform::kWsaWouldBlock) {
            // The usual outcome: OnConnect follows.
            socket.m_bConnected = true;
        } else {
            socket.m_strLastError = SocketErrorText(code);
            WriteLogLine(socket.m_strLastError);
        }
    }
    PumpSocketMessages(socket, socket.m_bClosed);
    return socket.m_bConnected;
}

}  // namespace orvella
