// The wait for the feed client's login: its admin port sends comma-separated
// status lines; the one that matters has at least 21 non-empty fields, the
// 13th being "Connected".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/async_socket.h"

namespace orvella {

// The feed client's admin port (fixed, not a setting).
inline constexpr uint16_t kAdminPort = 9300;

// True when the line, split at commas with empty fields skipped, has at least
// 21 fields and the 13th is exactly "Connected".
bool IsConnectedStatusLine(std::wstring_view line);

// Collects received text into lines (ended by a line feed) and judges each
// complete line; the unfinished rest waits for the next chunk. A line longer
// than kMaxFeedLineChars is dropped (the first one logged) and the lines
// after it are judged as usual.
class CAdminStatusReader {
  public:
    // Appends a chunk of 8-bit text. True once a complete line reported the
    // client connected; lines after that one are not looked at.
    bool Append(std::string_view chunk);

    // Over-long lines dropped so far.
    int OverLongLines() const { return m_overLongLines; }

  private:
    void NoteOverLongLine();

    std::wstring m_pending;
    bool m_skippingLongLine = false;
    int m_overLongLines = 0;
};

class CAdminLogin {
  public:
    // Initialises the socket layer (again); a failure is shown in a box
    // captioned "AfxSocketInit" and the object carries on.
    CAdminLogin();
    virtual ~CAdminLogin() = default;

    // Connects a blocking socket to 127.0.0.1:port and sends text. 1 when
    // connected and every byte was sent, else 0. The socket is kept either
    // way; a later call replaces it.
    virtual int ConnectAndSend(const std::string& text, uint16_t port);

    // Receives status lines until one reports "Connected", the peer closes
    // or a receive fails; then shuts the socket down and closes it. With no
    // connection it returns at once. No time limit.
    virtual void WaitUntilConnected();

  private:
    platform::CSocket m_socket;
};

}  // namespace orvella
