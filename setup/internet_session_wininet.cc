// The session on WinINet: one synchronous GET per call, the client's status
// callback turned into status lines.
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>
#include <thread>

#include "setup/internet_session.h"

namespace orvella {

namespace {

// WinINet's callback gets the request's context value (1), not the session;
// downloads run one at a time, so the session in flight is kept here.
std::atomic<CCorvanInternetSession*> g_active{nullptr};
// What the request in flight has reported: WinINet reports a response for
// every read and the connection's end whenever it notices it; the session
// reports each once, like the other client, the end when it closes the
// request.
std::atomic<bool> g_responseReported{false};
std::atomic<bool> g_connected{false};
// WinINet resolves a host once and later connects to it without a word; the
// session reports the name's resolution before every connect, as the other
// client does.
std::atomic<bool> g_resolveReported{false};
std::string g_host;  // the request in flight's host

// The client's errors that a user meets, described in the words the Linux
// build uses; others come from the system's message table.
std::string DescribeError(DWORD error) {
    struct Known {
        DWORD code;
        const char* text;
    };
    static constexpr Known kKnown[] = {
        {ERROR_INTERNET_TIMEOUT, "Timeout was reached"},
        {ERROR_INTERNET_INVALID_URL, "URL using bad/illegal format or missing URL"},
        {ERROR_INTERNET_NAME_NOT_RESOLVED, "Couldn't resolve host name"},
        {ERROR_INTERNET_CANNOT_CONNECT, "Couldn't connect to server"},
        {ERROR_INTERNET_CONNECTION_ABORTED, "Connection aborted"},
        {ERROR_INTERNET_CONNECTION_RESET, "Connection reset by the server"},
    };
    for (const Known& known : kKnown) {
        if (known.code == error)
            return known.text;
    }
    char text[CCorvanInternetSession::kMaxErrorText + 1] = {0};
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        GetModuleHandleA("wininet.dll"), error, 0, text, sizeof(text) - 1, nullptr);
    std::string description(text, length);
    while (!description.empty() && (description.back() == '\n' || description.back() == '\r'))
        description.pop_back();
    return description;
}

// Closes a handle when its scope ends.
struct HandleCloser {
    HINTERNET handle = nullptr;
    ~HandleCloser() { Close(); }
    void Close() {
        if (handle != nullptr)
            InternetCloseHandle(handle);
        handle = nullptr;
    }
};

}  // namespace

struct CCorvanInternetSession::Transfer {
    // The request proper, step by step; the caller closes the handles.
    static Result Exchange(CCorvanInternetSession& s, const Request& request,
                           CHttpResponseSink* sink, HINTERNET internet, HINTERNET* connection,
                           HINTERNET* http, bool* couldNotConnect);
    // The connection and the request with its headers; 0 or the error.
    static DWORD Open(CCorvanInternetSession& s, const Request& request, HINTERNET internet,
                      HINTERNET* connection, HINTERNET* http);
    // Sends the request and waits for the response's head.
    static Result Send(CCorvanInternetSession& s, const MinimumRate& rate, HINTERNET* http,
                       bool* couldNotConnect);
    // Status, headers and announced length of the response; 0 or the error.
    static DWORD ReadHead(CCorvanInternetSession& s, HINTERNET http);
    static Result ReadBody(CCorvanInternetSession& s, const MinimumRate& rate,
                           CHttpResponseSink* sink, HINTERNET http);
    static Result Fail(CCorvanInternetSession& s, DWORD error) {
        s.SetErrorText(DescribeError(error));
        return Result::kFailed;
    }

    static void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD code, void* information,
                                  DWORD length) {
        CCorvanInternetSession* session = g_active.load();
        if (session == nullptr)
            return;
        switch (code) {
            case INTERNET_STATUS_RECEIVING_RESPONSE:
            case INTERNET_STATUS_RESPONSE_RECEIVED:
                if (g_responseReported.load())
                    return;
                if (code == INTERNET_STATUS_RESPONSE_RECEIVED)
                    g_responseReported = true;
                break;
            case INTERNET_STATUS_NAME_RESOLVED:
                g_resolveReported = true;
                break;
            case INTERNET_STATUS_CONNECTING_TO_SERVER:
                if (!g_resolveReported.exchange(true)) {
                    session->Notify(kResolvingName, g_host);
                    session->Notify(kNameResolved, g_host);
                }
                break;
            case INTERNET_STATUS_CONNECTED_TO_SERVER:
                g_connected = true;
                break;
            case INTERNET_STATUS_CLOSING_CONNECTION:
            case INTERNET_STATUS_CONNECTION_CLOSED:
                return;
            default:
                break;
        }
        std::string text;
        if ((code == INTERNET_STATUS_RESOLVING_NAME || code == INTERNET_STATUS_NAME_RESOLVED) &&
            information != nullptr) {
            const char* chars = static_cast<const char*>(information);
            text.assign(chars, strnlen(chars, length));
        }
        session->OnStatusCallback(static_cast<uintptr_t>(context), static_cast<long>(code), text);
    }
};

CCorvanInternetSession::Result CCorvanInternetSession::Transfer::Exchange(
    CCorvanInternetSession& s, const Request& request, CHttpResponseSink* sink, HINTERNET internet,
    HINTERNET* connection, HINTERNET* http, bool* couldNotConnect) {
    if (const DWORD error = Open(s, request, internet, connection, http); error != 0)
        return Fail(s, error);
    if (const Result sent = Send(s, request.minimumRate, http, couldNotConnect);
        sent != Result::kCompleted) {
        return sent;
    }
    if (const DWORD error = ReadHead(s, *http); error != 0)
        return Fail(s, error);
    if (!s.FinishHead(sink))
        return Result::kStoppedBySink;
    return ReadBody(s, request.minimumRate, sink, *http);
}

DWORD CCorvanInternetSession::Transfer::Open(CCorvanInternetSession& s, const Request& request,
                                             HINTERNET internet, HINTERNET* connection,
                                             HINTERNET* http) {
    if (request.host.empty())
        return ERROR_INTERNET_INVALID_URL;
    const auto port = static_cast<INTERNET_PORT>(request.port & 0xFFFF);
    *connection = InternetConnectA(internet, request.host.c_str(),
                                   port == 0 ? INTERNET_DEFAULT_HTTP_PORT : port, nullptr, nullptr,
                                   INTERNET_SERVICE_HTTP, 0, s.m_context);
    if (*connection == nullptr)
        return GetLastError();
    // Our own redirect handling decides about 301, 302 and 303.
    const DWORD flags = INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_AUTO_REDIRECT |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
    *http = HttpOpenRequestA(*connection, "GET", request.objectPath.c_str(), nullptr, nullptr,
                             nullptr, flags, s.m_context);
    if (*http == nullptr)
        return GetLastError();
    for (const std::string& header : request.headers) {
        HttpAddRequestHeadersA(*http, header.c_str(), static_cast<DWORD>(header.size()),
                               HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    }
    return 0;
}

CCorvanInternetSession::Result CCorvanInternetSession::Transfer::Send(CCorvanInternetSession& s,
                                                                      const MinimumRate& rate,
                                                                      HINTERNET* http,
                                                                      bool* couldNotConnect) {
    // The request and the response's head are one blocking call; a server
    // that sends the head a byte now and then is given up when the head has
    // not come within the period (closing the handle ends the call).
    std::mutex mutex;
    std::condition_variable headArrived;
    bool sent = false;
    bool tooSlow = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (!headArrived.wait_for(lock, std::chrono::seconds(rate.periodSeconds),
                                  [&] { return sent; })) {
            tooSlow = true;
            InternetCloseHandle(*http);
        }
    });
    const BOOL sentOk = HttpSendRequestA(*http, nullptr, 0, nullptr, 0);
    const DWORD sendError = GetLastError();
    {
        std::lock_guard<std::mutex> lock(mutex);
        sent = true;
    }
    headArrived.notify_one();
    watchdog.join();
    if (tooSlow) {
        *http = nullptr;
        s.SetErrorText(rate.TooSlowText());
        return Result::kFailed;
    }
    if (!sentOk) {
        *couldNotConnect = sendError == ERROR_INTERNET_CANNOT_CONNECT;
        return Fail(s, sendError);
    }
    return Result::kCompleted;
}

DWORD CCorvanInternetSession::Transfer::ReadHead(CCorvanInternetSession& s, HINTERNET http) {
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!HttpQueryInfoA(http, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr)) {
        return GetLastError();
    }
    s.m_status = static_cast<long>(status);
    size = 0;
    HttpQueryInfoA(http, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, nullptr);
    if (size > 0) {
        std::string raw(size, '\0');
        if (HttpQueryInfoA(http, HTTP_QUERY_RAW_HEADERS_CRLF, raw.data(), &size, nullptr)) {
            raw.resize(size);
            // The status line is not a header; one CR LF ends the last one.
            const size_t firstEnd = raw.find("\r\n");
            s.m_headers = firstEnd == std::string::npos ? std::string() : raw.substr(firstEnd + 2);
            while (s.m_headers.size() >= 4 &&
                   s.m_headers.compare(s.m_headers.size() - 4, 4, "\r\n\r\n") == 0) {
                s.m_headers.resize(s.m_headers.size() - 2);
            }
        }
    }
    char lengthText[32] = {0};
    size = sizeof(lengthText) - 1;
    if (HttpQueryInfoA(http, HTTP_QUERY_CONTENT_LENGTH, lengthText, &size, nullptr))
        s.m_contentLength = std::strtoll(lengthText, nullptr, 10);
    return 0;
}

CCorvanInternetSession::Result CCorvanInternetSession::Transfer::ReadBody(CCorvanInternetSession& s,
                                                                          const MinimumRate& rate,
                                                                          CHttpResponseSink* sink,
                                                                          HINTERNET http) {
    const long long announced = s.m_contentLength;
    // The rate over each period in a row, as the Linux client measures it.
    CRateCheck rateCheck(rate, GetTickCount64());
    for (;;) {
        // A read waits until its whole size has come; asking first what has
        // arrived keeps the reads, and the rate check, going while data
        // trickles in.
        DWORD available = 0;
        if (!InternetQueryDataAvailable(http, &available, 0, 0))
            return Fail(s, GetLastError());
        size_t room = 0;
        char* at = s.BlockRoom(&room);
        DWORD received = 0;
        if (available > 0 &&
            !InternetReadFile(http, at, available < room ? available : static_cast<DWORD>(room),
                              &received)) {
            return Fail(s, GetLastError());
        }
        if (received == 0)
            break;
        if (!sink->OnTransferProgress(s.ReceivedBytes() + received, announced))
            return Result::kStoppedBySink;
        if (!rateCheck.Note(received, GetTickCount64())) {
            s.SetErrorText(rate.TooSlowText());
            return Result::kFailed;
        }
        if (!s.CommitBody(received, sink))
            return Result::kStoppedBySink;
    }
    // WinINet reports the end of a connection closed early as the end of
    // the body; the announced length tells them apart, and the short last
    // block is not handed on, as with a failed read.
    if (announced >= 0 && s.ReceivedBytes() < announced) {
        s.SetErrorText("transfer closed with " + std::to_string(announced - s.ReceivedBytes()) +
                       " bytes remaining to read");
        return Result::kFailed;
    }
    if (!s.FlushBody(sink))
        return Result::kStoppedBySink;
    // The whole body, also when no length was announced.
    if (!sink->OnTransferProgress(s.m_bodyBytes, announced))
        return Result::kStoppedBySink;
    s.Notify(kRequestComplete);
    return Result::kCompleted;
}

bool CCorvanInternetSession::InitializeLibrary() {
    // WinINet starts with its first handle.
    return true;
}

CCorvanInternetSession::Result CCorvanInternetSession::Get(const Request& request,
                                                           CHttpResponseSink* sink) {
    // WinINet retries the connection itself (the retries and back-off are
    // set on the handle).
    bool couldNotConnect = false;
    return GetOnce(request, sink, &couldNotConnect);
}

CCorvanInternetSession::Result CCorvanInternetSession::GetOnce(const Request& request,
                                                               CHttpResponseSink* sink,
                                                               bool* couldNotConnect) {
    ResetResponse();
    *couldNotConnect = false;

    CCorvanInternetSession* expected = nullptr;
    if (!g_active.compare_exchange_strong(expected, this)) {
        SetErrorText("Another download is running");
        return Result::kFailed;
    }
    g_responseReported = false;
    g_connected = false;
    g_resolveReported = false;
    g_host = request.host;
    struct Release {
        ~Release() { g_active.store(nullptr); }
    } release;

    HandleCloser internet{
        InternetOpenA(m_agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)};
    if (internet.handle == nullptr) {
        SetErrorText(DescribeError(GetLastError()));
        return Result::kFailed;
    }
    DWORD value = kConnectTimeoutMs;
    InternetSetOptionA(internet.handle, INTERNET_OPTION_CONNECT_TIMEOUT, &value, sizeof(value));
    value = kConnectBackoffMs;
    InternetSetOptionA(internet.handle, INTERNET_OPTION_CONNECT_BACKOFF, &value, sizeof(value));
    value = kConnectRetries;
    InternetSetOptionA(internet.handle, INTERNET_OPTION_CONNECT_RETRIES, &value, sizeof(value));
    // A server that stops sending ends the transfer instead of holding the
    // dialog for ever (one that sends a byte now and then: see the reads).
    value = static_cast<DWORD>(request.minimumRate.periodSeconds * 1000);
    InternetSetOptionA(internet.handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &value, sizeof(value));
    InternetSetStatusCallbackA(internet.handle, &Transfer::OnStatus);

    HandleCloser connection;
    HandleCloser http;
    const Result result = Transfer::Exchange(*this, request, sink, internet.handle,
                                             &connection.handle, &http.handle, couldNotConnect);
    http.Close();
    connection.Close();
    if (g_connected.load()) {
        Notify(kClosingConnection);
        Notify(kConnectionClosed);
    }
    return result;
}

}  // namespace orvella
