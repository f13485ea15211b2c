#include "setup/internet_session.h"

#include <cstring>
#include <string_view>

namespace orvella {

CCorvanInternetSession::CCorvanInternetSession(std::string agent, uintptr_t context,
                                               StatusSink statusSink, bool rawLines)
    : m_agent(std::move(agent)),
      m_context(context),
      m_statusSink(std::move(statusSink)),
      m_rawLines(rawLines),
      m_buffer(std::make_unique<char[]>(kReadBufferSize)) {}

CCorvanInternetSession::~CCorvanInternetSession() = default;

namespace {

// The text of a known notification's line; empty for an unknown one and for
// the one that has no line.
std::string StatusText(long code, const std::string& information) {
    using S = CCorvanInternetSession;
    std::string text;
    switch (code) {
        case S::kResolvingName:
            text = "Resolving name " + information;
            break;
        case S::kNameResolved:
            text = "Name resolved " + information;
            break;
        case S::kConnectingToServer:
            text = "Connecting to socket address";
            break;
        case S::kConnectedToServer:
            text = "Connected to socket address";
            break;
        case S::kSendingRequest:
            text = "Sending request";
            break;
        case S::kRequestSent:
            text = "Request sent";
            break;
        case S::kReceivingResponse:
            break;
        case S::kResponseReceived:
            text = "Response received";
            break;
        case S::kClosingConnection:
            text = "Closing the connection to the server";
            break;
        case S::kConnectionClosed:
            text = "Connection to the server closed";
            break;
        case S::kHandleCreated:
            text = "Handle created";
            break;
        case S::kHandleClosing:
            text = "Handle closing";
            break;
        case S::kRequestComplete:
            text = "Request complete";
            break;
        case S::kRedirect:
            text = "Being redirected";
            break;
        default:
            break;
    }
    return text;
}

bool IsRedirectStatus(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// True when the headers hold one of this name, in any case.
bool HasHeader(std::string_view headers, std::string_view name) {
    size_t start = 0;
    while (start < headers.size()) {
        size_t end = headers.find('\n', start);
        if (end == std::string_view::npos)
            end = headers.size();
        const std::string_view line = headers.substr(start, end - start);
        if (line.size() > name.size() && line[name.size()] == ':') {
            bool same = true;
            for (size_t i = 0; i < name.size() && same; ++i) {
                same = (line[i] | 0x20) == (name[i] | 0x20);
            }
            if (same)
                return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace

std::string MinimumRate::TooSlowText() const {
    return "Operation too slow. Less than " + std::to_string(bytesPerSecond) +
           " bytes/sec transferred the last " + std::to_string(periodSeconds) + " seconds";
}

bool CRateCheck::Note(long long bytes, uint64_t nowMs) {
    m_periodBytes += bytes;
    if (nowMs - m_periodStart < static_cast<uint64_t>(m_rate.periodSeconds) * 1000)
        return true;
    if (m_periodBytes < static_cast<long long>(m_rate.bytesPerSecond) * m_rate.periodSeconds)
        return false;
    m_periodStart = nowMs;
    m_periodBytes = 0;
    return true;
}

std::string CCorvanInternetSession::StatusLine(long code, const std::string& information) {
    std::string text = StatusText(code, information);
    if (code == kReceivingResponse)
        return text;
    if (text.empty())
        text = "Unknown status: " + std::to_string(code);
    return "dwInternetStatus " + std::to_string(code) + "; " + text;
}

std::string CCorvanInternetSession::PlainStatusLine(long code, const std::string& information) {
    // Handles are the client's own affair.
    if (code == kHandleCreated || code == kHandleClosing)
        return std::string();
    return StatusText(code, information);
}

void CCorvanInternetSession::OnStatusCallback(uintptr_t, long code,
                                              const std::string& information) {
    const std::string line =
        m_rawLines ? StatusLine(code, information) : PlainStatusLine(code, information);
    if (!line.empty() && m_statusSink)
        m_statusSink(line);
}

void CCorvanInternetSession::Notify(long code, const std::string& information) {
    OnStatusCallback(m_context, code, information);
}

void CCorvanInternetSession::SetErrorText(std::string text) {
    m_errorText = text.empty() ? std::string(kUnknownErrorText) : std::move(text);
    if (m_errorText.size() > kMaxErrorText)
        m_errorText.resize(kMaxErrorText);
}

void CCorvanInternetSession::ResetResponse() {
    m_status = 0;
    m_headers.clear();
    m_errorText.clear();
    m_bodyBytes = 0;
    m_contentLength = -1;
    m_blockUsed = 0;
}

bool CCorvanInternetSession::FinishHead(CHttpResponseSink* sink) {
    if (IsRedirectStatus(m_status) && HasHeader(m_headers, "Location"))
        Notify(kRedirect);
    return sink->OnResponse(m_status);
}

bool CCorvanInternetSession::AppendBody(const char* data, size_t size, CHttpResponseSink* sink) {
    while (size > 0) {
        size_t room = 0;
        char* at = BlockRoom(&room);
        const size_t take = size < room ? size : room;
        std::memcpy(at, data, take);
        data += take;
        size -= take;
        if (!CommitBody(take, sink))
            return false;
    }
    return true;
}

char* CCorvanInternetSession::BlockRoom(size_t* room) {
    *room = kReadBlockSize - m_blockUsed;
    return m_buffer.get() + m_blockUsed;
}

bool CCorvanInternetSession::CommitBody(size_t size, CHttpResponseSink* sink) {
    m_blockUsed += size;
    return m_blockUsed < kReadBlockSize || FlushBody(sink);
}

bool CCorvanInternetSession::FlushBody(CHttpResponseSink* sink) {
    if (m_blockUsed == 0)
        return true;
    const size_t size = m_blockUsed;
    m_blockUsed = 0;
    m_bodyBytes += static_cast<long long>(size);
    return sink->OnBodyBlock(m_buffer.get(), size);
}

}  // namespace orvella
