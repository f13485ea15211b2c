#include "plugin/history/lookup_connection.h"

#include "platform/async_socket.h"
#include "plugin/diagnostics/log.h"
#include "plugin/levelone/message_pump.h"
#include "plugin/levelone/socket_errors.h"
#include "settings/corvan_ports.h"

namespace orvella {

bool ConnectLookup(CHistoryData& data) {
    if (!data.m_bConnected) {
        const uint16_t port = CCorvanPorts().GetLookupPort();
        data.m_socket.m_pOwner = &data;
        if (ConnectLookupSocket(port, data.m_socket)) {
            data.m_bConnected = true;
        }
    }
    PumpSocketMessages(data.m_socket);
    return data.m_bConnected;
}

bool ConnectLookupSocket(uint16_t port, CLookupCSocket<CHistoryData*>& socket) {
    if (!socket.m_bConnected) {
        if (!socket.Create(platform::kSocketEventsAll)) {
            WriteLogLine(SocketErrorText(platform::LastSocketError()));
        } else {
            socket.SetReceiveBufferSize(kLookupBufferSize);
            socket.SetSendBufferSize(kLookupBufferSize);
            socket.SetDontLinger(false);
            if (socket.Connect("127.0.0.1", port)) {
                socket.m_bConnected = true;
            } else {
                const int error = platform::LastSocketError();
                if (error == platform::kWsaWouldBlock) {
                    socket.m_bConnected = true;
                } else {
                    WriteLogLine(SocketErrorText(error));
                }
            }
        }
    }
    PumpSocketMessages(socket);
    return socket.m_bConnected;
}

bool SendHistoryRequest(CHistoryData& data, std::string_view text) {
    bool sent = false;
    const int result = data.m_socket.Send(text.data(), static_cast<int>(text.size()), 0);
    if (result > 0) {
        WriteLogLine(L"History Data Sucessful SendRequest");
        sent = true;
    } else if (result == -1) {
        WriteLogLine(SocketErrorText(platform::LastSocketError()));
    }
    PumpSocketMessages(data.m_socket);
    return sent;
}

void PumpSocketMessages(CLookupCSocket<CHistoryData*>& socket) {
    PumpSocketMessages(socket, socket.m_bClosed);
}

bool ProbeLookup(CHistoryData& data) {
    if (data.m_socket.platform::CAsyncSocket::Receive(nullptr, 0, 0) != -1) {
        return false;
    }
    return platform::LastSocketError() != platform::kWsaWouldBlock;
}

}  // namespace orvella
