#include "plugin/levelone/level_one_data.h"

#include <algorithm>

#include "platform/async_socket.h"
#include "platform/sync.h"
#include "platform/text.h"
#include "plugin/boundary/data_cache.h"
#include "plugin/boundary/feed_text.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/row_gate.h"
#include "plugin/diagnostics/log.h"
#include "plugin/levelone/level_one_fields.h"
#include "plugin/levelone/socket_errors.h"

namespace orvella {

namespace {

bool Contains(std::wstring_view text, std::wstring_view part) {
    return text.find(part) != std::wstring_view::npos;
}

// Counts the handlers under way for as long as one runs.
class CBusy {
  public:
    explicit CBusy(int& count) : m_count(count) { ++m_count; }
    ~CBusy() { --m_count; }
    CBusy(const CBusy&) = delete;
    CBusy& operator=(const CBusy&) = delete;

  private:
    int& m_count;
};

}  // namespace

CLevelOneData::CLevelOneData() = default;

CLevelOneData::~CLevelOneData() = default;

bool CLevelOneData::WatchSymbol(const std::wstring& symbol, float interval) {
    const CBusy busy(m_nBusy);
    LogFormat(L"Watching symbol %ls; interval %f", symbol.c_str(), static_cast<double>(interval));
    m_watchList.Add(symbol, interval);

    // The reconnect watches every listed symbol once it is back.
    if (m_reconnect.Active()) {
        LogFormat(L"Watch of %ls waits for the reconnect", symbol.c_str());
        return true;
    }

    for (int attempt = 0; !m_bLevelOneUp && attempt < m_nWaitAttempts; ++attempt) {
        if (!ConnectLevelOne()) {
            platform::Sleep(m_nWaitSleepMs);
        }
        Pump();
        NoteFailedConnect();
    }
    // The feed client answers no watch before its customer-information line.
    // A connect that fails meanwhile (a feed client started a moment ago and
    // not listening yet) is started again here.
    for (int attempt = 0; m_bCustomerInfo == 0 && attempt < m_nWaitAttempts; ++attempt) {
        if (!m_bLevelOneUp) {
            ConnectLevelOne();
        }
        platform::Sleep(m_nWaitSleepMs);
        Pump();
        NoteFailedConnect();
    }

    if (m_bCustomerInfo == 0) {
        WriteLogLine(L"No watch command sent since Level One socket was not ready!");
        return false;
    }
    const std::string command = "w" + platform::NarrowText(symbol) + "\r\n";
    const int sent = m_socket.Send(command.data(), static_cast<int>(command.size()), 0);
    if (sent > 0) {
        WriteLogLine(L"Level One sucessful SendRequest");
        return true;
    }
    if (sent == -1) {
        WriteLogLine(SocketErrorText(platform::LastSocketError()));
    }
    return false;
}

bool CLevelOneData::UnwatchSymbol(const std::wstring& symbol, float interval) {
    const CBusy busy(m_nBusy);
    switch (m_watchList.Remove(symbol, interval)) {
        case CWatchList::CRemoved::kNotWatched:
            return false;
        case CWatchList::CRemoved::kStillWatched:
            return true;
        case CWatchList::CRemoved::kSymbolGone:
            break;
    }
    if (!m_bLevelOneUp) {
        ConnectLevelOne();
    }
    Pump();
    if (m_socket.Connected()) {
        SendCommand('r', symbol);
    }
    return true;
}

bool CLevelOneData::ConnectLevelOne() {
    if (!m_bLevelOneUp) {
        const uint16_t port = LevelOnePort();
        ++m_nConnectAttempts;
        m_socket.SetOwner(this);
        if (m_socket.Open(port)) {
            m_bLevelOneUp = true;
        }
    }
    Pump();
    return m_bLevelOneUp;
}

void CLevelOneData::NoteFailedConnect() {
    if (m_bLevelOneUp && m_bCustomerInfo == 0 && ConnectionGone()) {
        m_bLevelOneUp = false;
    }
}

bool CLevelOneData::ConnectionGone() const {
    return !m_socket.Connected() || m_socket.handle() == platform::kInvalidSocket;
}

void CLevelOneData::ForgetConnection() {
    m_bCustomerInfo = 0;
    m_bLevelOneUp = false;
}

void CLevelOneData::DropConnection() {
    m_socket.Close();
    m_bLevelOneUp = false;
}

void CLevelOneData::SendCommand(char command, std::wstring_view symbol) {
    const std::string line = command + platform::NarrowText(std::wstring(symbol)) + "\r\n";
    if (m_socket.Send(line.data(), static_cast<int>(line.size()), 0) == -1) {
        WriteLogLine(SocketErrorText(platform::LastSocketError()));
    }
}

void CLevelOneData::WatchAll() {
    m_watchList.ForEachSymbol([this](const std::wstring& symbol) { SendCommand('w', symbol); });
}

bool CLevelOneData::ReconnectStep() {
    if (m_nBusy > 0 || Globals().reconnectEnabled == 0) {
        return false;
    }
    return m_reconnect.Step();
}

void CLevelOneData::ReleaseHeldLines() {
    if (HoldingLines()) {
        return;
    }
    DrainHeldLines();
    ResumeReading();
}

bool CLevelOneData::ProbeLevelOne() {
    if (m_socket.Receive(nullptr, 0, 0) != -1) {
        return false;
    }
    return platform::LastSocketError() != platform::kWsaWouldBlock;
}

void CLevelOneData::OnLevelOneData(std::wstring_view chunk) {
    const CBusy busy(m_nBusy);
    Globals().levelOneChunkCount.fetch_add(1);
    // The unfinished line the bytes path kept goes on as wide text.
    if (!m_strPendingBytes.empty()) {
        platform::AppendWidened(m_strPendingBytes, &m_strPending);
        m_strPendingBytes.clear();
    }
    // A zero byte is rare: the chunk is searched for one once, and its lines
    // only when it or the pending text holds one.
    const bool mayHoldZero = m_bPendingHoldsZero || chunk.find(L'\0') != std::wstring_view::npos;
    // The text already pending holds no line feed; the search starts after it.
    const std::size_t search = m_strPending.size();
    m_strPending.append(chunk);
    HandlePendingLines(search, mayHoldZero);
    PumpAfterData();
}

void CLevelOneData::OnLevelOneBytes(std::string_view received) {
    const CBusy busy(m_nBusy);
    Globals().levelOneChunkCount.fetch_add(1);
    // Searched as bytes, the zero test costs a quarter of the wide one.
    const bool mayHoldZero = m_bPendingHoldsZero || received.find('\0') != std::string_view::npos;
    if (!m_strPending.empty()) {
        // A wide chunk left an unfinished line: this one goes on as its text.
        const std::size_t search = m_strPending.size();
        platform::AppendWidened(received, &m_strPending);
        HandlePendingLines(search, mayHoldZero);
    } else {
        HandleByteLines(received, mayHoldZero);
    }
    PumpAfterData();
}

void CLevelOneData::HandleByteLines(std::string_view received, bool mayHoldZero) {
    std::string_view rest = received;
    if (!m_strPendingBytes.empty()) {
        const std::size_t feed = rest.find('\n');
        m_strPendingBytes.append(rest.substr(0, feed));
        if (feed == std::string_view::npos) {
            rest = {};
        } else {
            HandleByteLine(m_strPendingBytes, mayHoldZero);
            m_strPendingBytes.clear();
            rest.remove_prefix(feed + 1);
        }
    }
    for (;;) {
        const std::size_t feed = rest.find('\n');
        if (feed == std::string_view::npos) {
            break;
        }
        HandleByteLine(rest.substr(0, feed), mayHoldZero);
        rest.remove_prefix(feed + 1);
    }
    // As KeepUnfinishedLine: an unfinished line that has grown too long is
    // dropped and skipped up to its line feed.
    if (!m_bSkippingLongLine && m_strPendingBytes.size() + rest.size() <= kMaxFeedLineChars) {
        m_strPendingBytes.append(rest);
    } else {
        m_strPendingBytes.clear();
        if (!m_bSkippingLongLine) {
            m_bSkippingLongLine = true;
            m_messages.NoteOverLongLine();
        }
    }
    m_bPendingHoldsZero = mayHoldZero && m_strPendingBytes.find('\0') != std::string::npos;
}

void CLevelOneData::HandleByteLine(std::string_view line, bool mayHoldZero) {
    if (m_bSkippingLongLine) {
        // The end of a line already counted as too long.
        m_bSkippingLongLine = false;
    } else if (line.size() > kMaxFeedLineChars) {
        m_messages.NoteOverLongLine();
    } else if (mayHoldZero && line.find('\0') != std::string_view::npos) {
        m_messages.NoteMalformedLine(line);
    } else if (!line.empty() && line[0] == 'Q' && !HoldingLines() && DataCache().Count() == 0) {
        // The common line, read where it lies; as DispatchLevelOneLine
        // handles it when nothing is held.
        m_messages.HandleUpdateBytes(line);
        RowGate().EndLoadPasses();
    } else {
        m_strLine.clear();
        platform::AppendWidened(line, &m_strLine);
        DispatchLevelOneLine(m_strLine);
    }
}

std::wstring CLevelOneData::PendingText() const {
    return m_strPending + platform::WidenText(m_strPendingBytes);
}

void CLevelOneData::PumpAfterData() {
    // A chunk that arrives inside this pump is handled by a nested call,
    // which leaves the pumping to this one: under a steady stream the nesting
    // would otherwise grow by one level per chunk and never unwind.
    if (!m_bPumpingData) {
        m_bPumpingData = true;
        Pump();
        m_bPumpingData = false;
    }
}

void CLevelOneData::HandlePendingLines(std::size_t search, bool mayHoldZero) {
    std::size_t lineStart = 0;
    for (;;) {
        const std::size_t feed = m_strPending.find(L'\n', search);
        if (feed == std::wstring::npos) {
            break;
        }
        const std::wstring_view line =
            std::wstring_view(m_strPending).substr(lineStart, feed - lineStart);
        if (m_bSkippingLongLine) {
            // The end of a line already counted as too long.
            m_bSkippingLongLine = false;
        } else if (line.size() > kMaxFeedLineChars) {
            m_messages.NoteOverLongLine();
        } else if (mayHoldZero && line.find(L'\0') != std::wstring_view::npos) {
            m_messages.NoteMalformedLine(line);
        } else {
            DispatchLevelOneLine(line);
        }
        lineStart = feed + 1;
        search = lineStart;
    }
    // An unfinished line that has grown too long is dropped here and skipped
    // up to its line feed, so the pending text stays bounded.
    if (KeepUnfinishedLine(&m_strPending, lineStart, &m_bSkippingLongLine)) {
        m_messages.NoteOverLongLine();
    }
    m_bPendingHoldsZero = mayHoldZero && m_strPending.find(L'\0') != std::wstring::npos;
}

void CLevelOneData::DispatchLevelOneLine(std::wstring_view line) {
    if (line.empty()) {
        return;
    }
    switch (line[0]) {
        case L'E':
            LogFormat(L"Level1 error message %ls",
                      std::wstring(line.substr(std::min<std::size_t>(2, line.size()))).c_str());
            break;
        case L'S': {
            const std::wstring_view field = SystemLineField(line);
            if (Contains(field, L"CUST")) {
                m_bCustomerInfo = 1;
            }
            if (Contains(field, L"CONNECTED") || Contains(field, L"SYMBOL LIMIT REACHED") ||
                Contains(field, L"SERVER RECONNECT FAILED")) {
                WriteLogLine(field);
            }
            break;
        }
        case L'P':
        case L'Q':
            if (HoldingLines()) {
                HoldLine(line);
                break;
            }
            DrainHeldLines();
            HandleHeldOrNewLine(line);
            // A tick series' own load has had its held lines.
            RowGate().EndLoadPasses();
            break;
        default:
            break;
    }
}

bool CLevelOneData::HoldingLines() const {
    return Globals().historyInProgress.load() != 0;
}

void CLevelOneData::HoldLine(std::wstring_view line) {
    CDataCache& cache = DataCache();
    cache.Append(std::wstring(line));
    // Past the bound the rest stays unread, in the kernel's buffer and the
    // feed client's, until the load has ended.
    if (!m_socket.ReadsHeld() && cache.Full()) {
        m_socket.HoldReads(true);
        LogFormat(L"Level One reading paused with %d lines held until the history load ends",
                  cache.Count());
    }
}

void CLevelOneData::DrainHeldLines() {
    // Lines held during the last history load go first, oldest first.
    CDataCache& cache = DataCache();
    while (cache.Count() > 0) {
        const std::wstring held = cache.TakeFirst();
        HandleHeldOrNewLine(held);
    }
}

void CLevelOneData::ResumeReading() {
    if (HoldingLines() || !m_socket.ReadsHeld()) {
        return;
    }
    m_socket.HoldReads(false);
    WriteLogLine(L"Level One reading resumed");
    // The data notification that came while reads were held was not
    // answered, so no further one follows until this read. Its first summary
    // or update line hands on the held ones first, as any line after a load.
    if (m_socket.TakeWaitingRead() && !m_socket.Closed()) {
        m_socket.ReadAvailable();
    }
}

void CLevelOneData::HandleHeldOrNewLine(std::wstring_view line) {
    if (line[0] == L'P') {
        m_messages.HandleSummaryMessage(line);
    } else {
        m_messages.HandleUpdateMessage(line);
    }
}

}  // namespace orvella
