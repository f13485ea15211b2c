#include "setup/internet_session.h"

namespace orvella {

CCorvanInternetSession::CCorvanInternetSession(std::string agent, uintptr_t context,
                                               StatusSink statusSink)
    : m_agent(std::move(agent)),
      m_context(context),
      m_statusSink(std::move(statusSink)),
      m_buffer(std::make_unique<char[]>(kReadBufferSize)) {}

CCorvanInternetSession::~CCorvanInternetSession() = default;

std::string CCorvanInternetSession::StatusLine(long code, const std::string& information) {
    std::string text;
    switch (code) {
        case kResolvingName:
            text = "Resolving name " + information;
            break;
        case kNameResolved:
            text = "Name resolved " + information;
            break;
        case kConnectingToServer:
            text = "Connecting to socket address";
            break;
        case kConnectedToServer:
            text = "Connected to socket address";
            break;
        case kSendingRequest:
            text = "Sending request";
            break;
        case kRequestSent:
            text = "Request sent";
            break;
        case kReceivingResponse:
            return std::string();
        case kResponseReceived:
            text = "Response received";
            break;
        case kClosingConnection:
            text = "Closing the connection to the server";
            break;
        case kConnectionClosed:
            text = "Connection to the server closed";
            break;
        case kHandleCreated:
            text = "Handle created";
            break;
        case kHandleClosing:
            text = "Handle closing";
            break;
        case kRequestComplete:
            text = "Request complete";
            break;
        case kRedirect:
            text = "Being redirected";
            break;
        default:
            text = "Unknown status: " + std::to_string(code);
            break;
    }
    return "dwInternetStatus " + std::to_string(code) + "; " + text;
}

void CCorvanInternetSession::OnStatusCallback(uintptr_t, long code,
                                              const std::string& information) {
    const std::string line = StatusLine(code, information);
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
