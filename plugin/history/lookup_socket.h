// The lookup connection: one TCP connection to the feed client's lookup port
// per history request, created on the host's calling thread, whose
// notifications hand each received chunk to its owner as text.
#pragma once

#include <string>
#include <string_view>

#include "platform/async_socket.h"
#include "platform/text.h"
#include "plugin/diagnostics/log.h"
#include "plugin/levelone/socket_errors.h"

namespace orvella {

inline constexpr int kLookupBufferSize = 131072;

// TOwner is a pointer type; the pointee receives every chunk through
// ProcessHistoryText(pointee, chunk), found by argument-dependent lookup.
template <typename TOwner>
class CLookupCSocket : public platform::CSocket {
  public:
    CLookupCSocket() { m_strChunk.reserve(kLookupBufferSize); }

    // The close notification has arrived.
    bool m_bClosed = false;
    // The last chunk read, as text.
    std::wstring m_strChunk;
    char m_buffer[kLookupBufferSize];
    // The connect succeeded or is under way.
    bool m_bConnected = false;
    // Receives the text; not owned.
    TOwner m_pOwner = nullptr;

  protected:
    void OnReceive(int error) override;
    void OnConnect(int error) override;
    void OnClose(int error) override;
};

// One receive of at most kLookupBufferSize - 1 bytes, never waiting. A count
// above 0 is converted to text (all of it, zero bytes included) and handed to
// the owner; -1 with an error other than would-block logs the error, closes the
// socket and logs "Socket has been closed!". Returns the receive's count
// (above 0, 0 at the peer's close, or -1).
template <typename TOwner>
int ReadAvailable(CLookupCSocket<TOwner>& socket) {
    const int count =
        socket.platform::CAsyncSocket::Receive(socket.m_buffer, kLookupBufferSize - 1, 0);
    if (count > 0) {
        socket.m_buffer[count] = '\0';
        // The count bounds the text: a zero byte is data, which the parser
        // rejects with its line.
        const std::string_view bytes(socket.m_buffer, static_cast<size_t>(count));
        // The chunk text is overwritten where it lies: sized to the chunk
        // first, which fills characters only past the longest chunk so far.
        socket.m_strChunk.resize(bytes.size());
        socket.m_strChunk.resize(platform::WidenInto(bytes, socket.m_strChunk.data()));
        if (socket.m_pOwner != nullptr) {
            ProcessHistoryText(*socket.m_pOwner, std::wstring_view(socket.m_strChunk));
        }
    } else if (count == -1) {
        const int error = platform::LastSocketError();
        if (error != platform::kWsaWouldBlock) {
            WriteLogLine(SocketErrorText(error));
            socket.Close();
            WriteLogLine(L"Socket has been closed!");
        }
    }
    return count;
}

template <typename TOwner>
void CLookupCSocket<TOwner>::OnReceive(int error) {
    if (error != 0) {
        WriteLogLine(SocketErrorText(error));
    } else if (!m_bClosed) {
        ReadAvailable(*this);
    }
}

template <typename TOwner>
void CLookupCSocket<TOwner>::OnConnect(int error) {
    if (error != 0) {
        WriteLogLine(SocketErrorText(error));
    }
}

template <typename TOwner>
void CLookupCSocket<TOwner>::OnClose(int error) {
    m_bClosed = true;
    if (error != 0) {
        WriteLogLine(SocketErrorText(error));
    }
    ShutDown(platform::kShutdownSend);
    // What the peer sent before closing still goes to the owner, unless the
    // owner finished the load (and closed the socket) on the way.
    while (handle() != platform::kInvalidSocket && ReadAvailable(*this) > 0) {
    }
    ShutDown(platform::kShutdownBoth);
    Close();
}

}  // namespace orvella
