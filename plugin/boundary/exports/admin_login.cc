#include "plugin/boundary/exports/admin_login.h"

#include <memory>

#include "platform/message_box.h"
#include "platform/text.h"
#include "plugin/boundary/feed_text.h"
#include "plugin/diagnostics/log.h"

namespace orvella {

namespace {

constexpr int kReceiveBufferSize = 65536;
constexpr size_t kRequiredFields = 21;
constexpr size_t kStateField = 13;

}  // namespace

bool IsConnectedStatusLine(std::wstring_view line) {
    size_t fields = 0;
    bool connected = false;
    size_t position = 0;
    while (position < line.size() && fields < kRequiredFields) {
        size_t end = line.find(L',', position);
        if (end == std::wstring_view::npos) {
            end = line.size();
        }
        if (end > position) {
            ++fields;
            if (fields == kStateField) {
                connected = line.substr(position, end - position) == L"Connected";
            }
        }
        position = end + 1;
    }
    return fields >= kRequiredFields && connected;
}

bool CAdminStatusReader::Append(std::string_view chunk) {
    // Only the new text can hold a line end: the pending rest has none.
    size_t searchFrom = m_pending.size();
    platform::AppendWidened(chunk, &m_pending);
    size_t lineStart = 0;
    bool connected = false;
    while (!connected) {
        const size_t lineEnd = m_pending.find(L'\n', searchFrom);
        if (lineEnd == std::wstring::npos) {
            break;
        }
        const std::wstring_view line(m_pending.data() + lineStart, lineEnd - lineStart);
        if (m_skippingLongLine) {
            // The end of a line already dropped as too long.
            m_skippingLongLine = false;
        } else if (line.size() > kMaxFeedLineChars) {
            NoteOverLongLine();
        } else {
            connected = !line.empty() && IsConnectedStatusLine(line);
        }
        lineStart = lineEnd + 1;
        searchFrom = lineStart;
    }
    // An unfinished line that has grown too long is dropped and skipped up
    // to its line feed, so the pending text stays bounded.
    if (connected) {
        m_pending.erase(0, lineStart);
    } else if (KeepUnfinishedLine(&m_pending, lineStart, &m_skippingLongLine)) {
        NoteOverLongLine();
    }
    return connected;
}

void CAdminStatusReader::NoteOverLongLine() {
    if (m_overLongLines++ == 0) {
        LogFormat(L"Admin status line longer than %d characters dropped",
                  static_cast<int>(kMaxFeedLineChars));
    }
}

CAdminLogin::CAdminLogin() {
    if (!platform::InitSockets()) {
        platform::MessageBox(L"Failed to Initialize Sockets", L"AfxSocketInit",
                             platform::kMbOk | platform::kMbIconError);
    }
}

int CAdminLogin::ConnectAndSend(const std::string& text, uint16_t port) {
    // A socket left by a refused attempt is replaced.
    if (m_socket.handle() != platform::kInvalidSocket) {
        m_socket.Close();
    }
    if (!m_socket.Create()) {
        return 0;
    }
    if (!m_socket.Connect("127.0.0.1", port)) {
        return 0;
    }
    const int size = static_cast<int>(text.size());
    return m_socket.Send(text.data(), size) == size ? 1 : 0;
}

void CAdminLogin::WaitUntilConnected() {
    auto buffer = std::make_unique<char[]>(kReceiveBufferSize);
    CAdminStatusReader reader;
    for (;;) {
        const int received = m_socket.Receive(buffer.get(), kReceiveBufferSize - 1);
        if (received <= 0) {
            break;
        }
        if (reader.Append(std::string_view(buffer.get(), static_cast<size_t>(received)))) {
            break;
        }
    }
    m_socket.ShutDown(platform::kShutdownBoth);
    m_socket.Close();
}

}  // namespace orvella
