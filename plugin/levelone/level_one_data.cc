#include "plugin/levelone/level_one_data.h"

#include <algorithm>

#include "platform/async_socket.h"
#include "platform/message_queue.h"
#include "platform/sync.h"
#include "platform/text.h"
#include "plugin/boundary/data_cache.h"
#include "plugin/boundary/feed_text.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/host_feed.h"
#include "plugin/diagnostics/log.h"
#include "plugin/levelone/message_pump.h"
#include "plugin/levelone/socket_errors.h"

namespace orvella {

namespace {

// Field positions of summary (P) and update (Q) lines.
constexpr std::size_t kFieldSymbol = 1;
constexpr std::size_t kFieldNotFound = 3;
constexpr std::size_t kFieldSummaryLastPrice = 3;
constexpr std::size_t kFieldSummaryVolume = 6;
constexpr std::size_t kFieldTradeVolume = 7;
constexpr std::size_t kFieldSummarySecondPrice = 8;
constexpr std::size_t kFieldSummaryThirdPrice = 9;
constexpr std::size_t kFieldType2Price = 10;
constexpr std::size_t kFieldType4Price = 11;
constexpr std::size_t kFieldType2Size = 12;
constexpr std::size_t kFieldType4Size = 13;
constexpr std::size_t kFieldTime = 17;
constexpr std::size_t kFieldSummaryFirstPrice = 19;
constexpr std::size_t kFieldDate = 30;
constexpr std::size_t kFieldTradePrice = 32;

constexpr double kTickTypeTrade = 0.0;
constexpr double kTickTypeBid = 2.0;
constexpr double kTickTypeAsk = 4.0;

bool IsDayOrLonger(float interval) {
    return interval == 1440.0f || interval == 10080.0f || interval == 43200.0f ||
           interval == 302400.0f;
}

// The carriage return that ends a line is no part of its last field, so
// "Q,SYM,,Not Found" compares equal whether the feed ends it with CR LF or LF.
std::wstring_view WithoutLineEnd(std::wstring_view line) {
    if (!line.empty() && line.back() == L'\r') {
        line.remove_suffix(1);
    }
    return line;
}

bool Contains(std::wstring_view text, std::wstring_view part) {
    return text.find(part) != std::wstring_view::npos;
}

// One row: the columns in ascending order, then the commit.
void SendRow(const char* symbol, float series, const HostDate& when, double price, double size) {
    CHostFeed& feed = HostFeed();
    feed.NSTSETVALUE(symbol, series, 1, when.value);
    feed.NSTSETVALUE(symbol, series, 2, price);
    feed.NSTSETVALUE(symbol, series, 3, size);
    feed.NSTCOMMITROW(symbol, series);
}

void SendTickRow(const char* symbol, float series, const HostDate& when, double price, double size,
                 double type) {
    CHostFeed& feed = HostFeed();
    feed.NSTSETVALUE(symbol, series, 1, when.value);
    feed.NSTSETVALUE(symbol, series, 2, price);
    feed.NSTSETVALUE(symbol, series, 3, size);
    feed.NSTSETVALUE(symbol, series, 4, type);
    feed.NSTCOMMITROW(symbol, series);
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

CLevelOneData::~CLevelOneData() {
    for (auto& entry : m_mapSymbols) {
        entry.second->m_aIntervals.clear();
    }
    m_symbolIndex.clear();
    m_mapSymbols.clear();
}

void CLevelOneData::AddInterval(CSymbolInfo& info, float interval) {
    info.m_aIntervals.push_back(CSymbolInfo::IntervalData{interval, 0});
}

CSymbolInfo* CLevelOneData::FindSymbol(std::wstring_view symbol) {
    const auto found = m_symbolIndex.find(symbol);
    return found == m_symbolIndex.end() ? nullptr : found->second;
}

void CLevelOneData::Pump() {
    PumpSocketMessages(m_socket, m_socket.m_bClosed);
}

bool CLevelOneData::WatchSymbol(const std::wstring& symbol, float interval) {
    const CBusy busy(m_nBusy);
    LogFormat(L"Watching symbol %ls; interval %f", symbol.c_str(), static_cast<double>(interval));
    CSymbolInfo* info = FindSymbol(symbol);
    if (info == nullptr) {
        auto created = std::make_unique<CSymbolInfo>();
        AddInterval(*created, interval);
        created->m_strHostSymbol = platform::NarrowText(symbol);
        const auto entry = m_mapSymbols.emplace(symbol, std::move(created)).first;
        m_symbolIndex.emplace(entry->first, entry->second.get());
    } else {
        const bool listed = std::any_of(info->m_aIntervals.begin(), info->m_aIntervals.end(),
                                        [interval](const CSymbolInfo::IntervalData& entry) {
                                            return entry.m_fInterval == interval;
                                        });
        if (!listed) {
            AddInterval(*info, interval);
        }
    }

    // The reconnect watches every listed symbol once it is back.
    if (Reconnecting()) {
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
    const auto found = m_mapSymbols.find(symbol);
    if (found == m_mapSymbols.end()) {
        return false;
    }
    std::vector<CSymbolInfo::IntervalData>& intervals = found->second->m_aIntervals;
    const auto entry = std::find_if(
        intervals.begin(), intervals.end(),
        [interval](const CSymbolInfo::IntervalData& e) { return e.m_fInterval == interval; });
    if (entry != intervals.end()) {
        intervals.erase(entry);
    }
    if (!intervals.empty()) {
        return true;
    }

    m_symbolIndex.erase(found->first);
    m_mapSymbols.erase(found);
    if (!m_bLevelOneUp) {
        ConnectLevelOne();
    }
    Pump();
    if (m_socket.m_bConnected) {
        const std::string command = "r" + platform::NarrowText(symbol) + "\r\n";
        if (m_socket.Send(command.data(), static_cast<int>(command.size()), 0) == -1) {
            WriteLogLine(SocketErrorText(platform::LastSocketError()));
        }
    }
    return true;
}

bool CLevelOneData::ConnectLevelOne() {
    if (!m_bLevelOneUp) {
        const uint16_t port = LevelOnePort();
        ++m_nConnectAttempts;
        m_socket.m_pOwner = this;
        if (ConnectLevelOneSocket(m_socket, port)) {
            m_bLevelOneUp = true;
        }
    }
    Pump();
    return m_bLevelOneUp;
}

void CLevelOneData::NoteFailedConnect() {
    // Refused, reset or closed before the customer-information line: the
    // connection never came up, so the next attempt opens a new one. Once
    // that line was seen the connection counts as made.
    if (m_bLevelOneUp && m_bCustomerInfo == 0 && ConnectionGone()) {
        m_bLevelOneUp = false;
    }
}

bool CLevelOneData::ConnectionGone() const {
    return !m_socket.m_bConnected || m_socket.handle() == platform::kInvalidSocket;
}

bool CLevelOneData::Reconnecting() const {
    if (Globals().reconnectEnabled == 0) {
        return false;
    }
    return m_eReconnect != CReconnectPhase::kNone || (m_bCustomerInfo != 0 && ConnectionGone());
}

void CLevelOneData::ScheduleReconnect() {
    m_eReconnect = CReconnectPhase::kWaiting;
    m_nRetryAt = platform::MessageClock() + m_nRetryMs;
    m_nRetryMs = std::min(m_nRetryMs * 2, kLongestRetryMs);
}

bool CLevelOneData::ReconnectStep() {
    if (m_nBusy > 0 || Globals().reconnectEnabled == 0) {
        return false;
    }
    switch (m_eReconnect) {
        case CReconnectPhase::kNone:
            if (m_bCustomerInfo != 0 && ConnectionGone()) {
                WriteLogLine(L"Level One connection lost; reconnecting");
                m_bCustomerInfo = 0;
                m_bLevelOneUp = false;
                m_nRetryMs = kFirstRetryMs;
                ScheduleReconnect();
            }
            return false;
        case CReconnectPhase::kWaiting:
            if (static_cast<int32_t>(platform::MessageClock() - m_nRetryAt) < 0) {
                return false;
            }
            LogFormat(L"Level One reconnect attempt %d", ++m_nReconnectAttempts);
            m_eReconnect = CReconnectPhase::kConnecting;
            m_nGreetingSteps = 0;
            ConnectLevelOne();
            return false;
        case CReconnectPhase::kConnecting:
            NoteFailedConnect();
            if (m_bCustomerInfo != 0) {
                break;
            }
            // A connection the feed client never greets is given up as well.
            if (m_bLevelOneUp && ++m_nGreetingSteps > kGreetingSteps) {
                m_socket.Close();
                m_bLevelOneUp = false;
            }
            if (!m_bLevelOneUp) {
                ScheduleReconnect();
            }
            return false;
    }
    m_eReconnect = CReconnectPhase::kNone;
    m_nRetryMs = kFirstRetryMs;
    WriteLogLine(L"Level One reconnected");
    for (const auto& entry : m_mapSymbols) {
        const std::string command = "w" + platform::NarrowText(entry.first) + "\r\n";
        if (m_socket.Send(command.data(), static_cast<int>(command.size()), 0) == -1) {
            WriteLogLine(SocketErrorText(platform::LastSocketError()));
        }
    }
    return true;
}

std::vector<std::pair<std::wstring, float>> CLevelOneData::WatchedSeries() const {
    std::vector<std::pair<std::wstring, float>> series;
    for (const auto& entry : m_mapSymbols) {
        for (const CSymbolInfo::IntervalData& interval : entry.second->m_aIntervals) {
            series.emplace_back(entry.first, interval.m_fInterval);
        }
    }
    return series;
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
    // Widened and handled a slice at a time: the wide text is four times the
    // bytes, and a slice's text is still in the processor's cache when its
    // lines are read, where a whole read's would have been pushed out.
    for (std::size_t at = 0; at < received.size(); at += kWidenSliceBytes) {
        const std::string_view slice = received.substr(at, kWidenSliceBytes);
        // Searched as bytes, the zero test costs a quarter of the wide one.
        const bool mayHoldZero = m_bPendingHoldsZero || slice.find('\0') != std::string_view::npos;
        const std::size_t search = m_strPending.size();
        platform::AppendWidened(slice, &m_strPending);
        HandlePendingLines(search, mayHoldZero);
    }
    PumpAfterData();
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
            NoteOverLongLine();
        } else if (mayHoldZero && line.find(L'\0') != std::wstring_view::npos) {
            NoteMalformedLine(line);
        } else {
            DispatchLevelOneLine(line);
        }
        lineStart = feed + 1;
        search = lineStart;
    }
    // An unfinished line that has grown too long is dropped here and skipped
    // up to its line feed, so the pending text stays bounded.
    if (KeepUnfinishedLine(&m_strPending, lineStart, &m_bSkippingLongLine)) {
        NoteOverLongLine();
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
    if (!m_socket.m_bHoldReads && cache.Full()) {
        m_socket.m_bHoldReads = true;
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
    if (HoldingLines() || !m_socket.m_bHoldReads) {
        return;
    }
    m_socket.m_bHoldReads = false;
    WriteLogLine(L"Level One reading resumed");
    // The data notification that came while reads were held was not
    // answered, so no further one follows until this read. Its first summary
    // or update line hands on the held ones first, as any line after a load.
    if (m_socket.m_bReadWaiting) {
        m_socket.m_bReadWaiting = false;
        if (!m_socket.m_bClosed) {
            m_socket.ReadAvailable();
        }
    }
}

void CLevelOneData::HandleHeldOrNewLine(std::wstring_view line) {
    if (line[0] == L'P') {
        HandleSummaryMessage(line);
    } else {
        HandleUpdateMessage(line);
    }
}

void CLevelOneData::HandleUpdateMessage(std::wstring_view line) {
    const CReadFields fields = SplitReadFields(WithoutLineEnd(line));
    if (fields[kFieldNotFound] == L"Not Found") {
        LogFormat(L"Symbol %ls was %ls", std::wstring(fields[kFieldSymbol]).c_str(),
                  std::wstring(fields[kFieldNotFound]).c_str());
        return;
    }
    const wchar_t marker = FindTradeMarker(fields[kFieldTime]);
    if (marker == 0) {
        return;
    }
    // T marks an extended trade, delivered only when the user asked for them.
    if (marker == L'T' && Globals().extendedTradesEnabled == 0) {
        return;
    }
    CLineDateTime parts;
    const HostDate when = LineDate(fields, &parts);
    if (when.status != kDateValid) {
        NoteMalformedLine(line);
        return;
    }
    if (!PassesTradeFilter(parts, when)) {
        return;
    }
    CSymbolInfo* info = FindSymbol(fields[kFieldSymbol]);
    if (info == nullptr) {
        return;
    }
    CUpdateValues values;
    if (!ReadUpdateValues(*info, fields, &values)) {
        NoteMalformedLine(line);
        return;
    }
    SendUpdateRows(*info, when, values);
}

void CLevelOneData::HandleSummaryMessage(std::wstring_view line) {
    const CReadFields fields = SplitReadFields(WithoutLineEnd(line));
    CLineDateTime parts;
    const HostDate when = LineDate(fields, &parts);
    if (when.status != kDateValid) {
        NoteMalformedLine(line);
        return;
    }
    CSymbolInfo* info = FindSymbol(fields[kFieldSymbol]);
    if (info == nullptr) {
        return;
    }
    if (!SendSummaryRows(*info, fields, when)) {
        NoteMalformedLine(line);
    }
}

bool CLevelOneData::PassesTradeFilter(const CLineDateTime& parts, const HostDate& when) {
    const CGlobalState& globals = Globals();
    if (globals.tradeFilterOn != 1) {
        return true;
    }
    // The window lies on the trade's own date.
    m_dtFilterBegin = DateFromParts(parts.year, parts.month, parts.day, globals.filterBeginHour,
                                    globals.filterBeginMinute, globals.filterBeginSecond);
    m_dtFilterEnd = DateFromParts(parts.year, parts.month, parts.day, globals.filterEndHour,
                                  globals.filterEndMinute, globals.filterEndSecond);
    if (DateIsAfter(m_dtFilterBegin, when)) {
        return false;
    }
    return !DateIsAfter(when, m_dtFilterEnd);
}

bool CLevelOneData::ReadUpdateValues(const CSymbolInfo& info, const CReadFields& fields,
                                     CUpdateValues* values) {
    if (!ReadFiniteNumber(fields[kFieldTradeVolume], &values->volume) ||
        !ReadFiniteNumber(fields[kFieldTradePrice], &values->price)) {
        return false;
    }
    // The quotes only reach the host in tick series; other lines need not
    // carry them.
    const bool ticks = std::any_of(
        info.m_aIntervals.begin(), info.m_aIntervals.end(),
        [](const CSymbolInfo::IntervalData& entry) { return entry.m_fInterval == 0.0f; });
    return !ticks || (ReadFiniteNumber(fields[kFieldType2Price], &values->type2Price) &&
                      ReadFiniteNumber(fields[kFieldType4Price], &values->type4Price) &&
                      ReadFiniteNumber(fields[kFieldType2Size], &values->type2Size) &&
                      ReadFiniteNumber(fields[kFieldType4Size], &values->type4Size));
}

void CLevelOneData::SendUpdateRows(CSymbolInfo& info, const HostDate& when,
                                   const CUpdateValues& v) {
    const char* symbol = info.m_strHostSymbol.c_str();

    for (const CSymbolInfo::IntervalData& entry : info.m_aIntervals) {
        const float series = -entry.m_fInterval;
        if (series != 0.0f) {
            SendRow(symbol, series, when, v.price, v.volume);
            continue;
        }
        // Quote pairs are sent only when they changed since the last row.
        if (v.type4Price != info.m_dType4Price || v.type4Size != info.m_dType4Size) {
            SendTickRow(symbol, series, when, v.type4Price, v.type4Size, kTickTypeAsk);
            info.m_dType4Price = v.type4Price;
            info.m_dType4Size = v.type4Size;
        }
        if (v.type2Price != info.m_dType2Price || v.type2Size != info.m_dType2Size) {
            SendTickRow(symbol, series, when, v.type2Price, v.type2Size, kTickTypeBid);
            info.m_dType2Price = v.type2Price;
            info.m_dType2Size = v.type2Size;
        }
        SendTickRow(symbol, series, when, v.price, v.volume, kTickTypeTrade);
    }
}

bool CLevelOneData::SendSummaryRows(CSymbolInfo& info, const CReadFields& fields,
                                    const HostDate& when) {
    // The history just loaded already holds today's bar.
    if (info.m_bTodayInHistory != 0) {
        return true;
    }
    for (CSymbolInfo::IntervalData& entry : info.m_aIntervals) {
        if (!IsDayOrLonger(entry.m_fInterval) || entry.m_bSummaryDone != 0) {
            continue;
        }
        double lastPrice, volume, secondPrice, thirdPrice, firstPrice;
        if (!ReadFiniteNumber(fields[kFieldSummaryLastPrice], &lastPrice) ||
            !ReadFiniteNumber(fields[kFieldSummaryVolume], &volume) ||
            !ReadFiniteNumber(fields[kFieldSummarySecondPrice], &secondPrice) ||
            !ReadFiniteNumber(fields[kFieldSummaryThirdPrice], &thirdPrice) ||
            !ReadFiniteNumber(fields[kFieldSummaryFirstPrice], &firstPrice)) {
            return false;
        }
        entry.m_bSummaryDone = 1;
        const char* symbol = info.m_strHostSymbol.c_str();
        const float series = -entry.m_fInterval;
        SendRow(symbol, series, when, firstPrice, 0.0);
        SendRow(symbol, series, when, secondPrice, 0.0);
        SendRow(symbol, series, when, thirdPrice, 0.0);
        SendRow(symbol, series, when, lastPrice, volume);
        return true;
    }
    return true;
}

HostDate CLevelOneData::LineDate(const CReadFields& fields, CLineDateTime* parts) {
    if (!ReadLineDateTime(fields[kFieldTime], fields[kFieldDate], parts)) {
        return HostDate{0.0, kDateInvalid};
    }
    return DateFromParts(parts->year, parts->month, parts->day, parts->hour, parts->minute,
                         parts->second);
}

void CLevelOneData::NoteMalformedLine(std::wstring_view line) {
    // Such a line would carry an undefined or made-up value, so it sends no
    // rows; only the first is logged.
    if (m_nMalformedLines++ == 0) {
        LogFormat(L"Level1 line that could not be read dropped: %ls", std::wstring(line).c_str());
    }
}

void CLevelOneData::NoteOverLongLine() {
    if (m_nMalformedLines++ == 0) {
        LogFormat(L"Level1 line longer than %d characters dropped",
                  static_cast<int>(kMaxFeedLineChars));
    }
}

}  // namespace orvella
