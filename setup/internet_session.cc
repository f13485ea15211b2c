#include "setup/internet_session.h"

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

}  // namespace

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

}  // namespace orvella
