// The session on libcurl, which is loaded with the first request rather than
// linked: the program's other jobs (the LST build above all) then start
// without it and the many libraries it brings mapped.
#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <string_view>
#include <thread>

#include "platform/library.h"
#include "setup/internet_session.h"

namespace orvella {

namespace {

// The name the linker would have recorded (CMake finds it).
constexpr char kCurlLibrary[] = ORVELLA_CURL_LIBRARY;

struct CurlLibrary {
    decltype(&curl_global_init) globalInit;
    decltype(&curl_easy_init) easyInit;
    decltype(&curl_easy_setopt) easySetopt;
    decltype(&curl_easy_perform) easyPerform;
    decltype(&curl_easy_getinfo) easyGetinfo;
    decltype(&curl_easy_strerror) easyStrerror;
    decltype(&curl_easy_cleanup) easyCleanup;
    decltype(&curl_slist_append) slistAppend;
    decltype(&curl_slist_free_all) slistFreeAll;
};

template <typename Function>
bool FindCurl(platform::Library* library, const char* name, Function* function,
              std::string* error) {
    *function = reinterpret_cast<Function>(platform::FindExport(library, name, error));
    if (*function == nullptr)
        *error = std::string(kCurlLibrary) + " does not export " + name;
    return *function != nullptr;
}

CurlLibrary LoadCurl(std::string* error) {
    CurlLibrary curl{};
    // Kept loaded until the program ends, as the library expects.
    platform::Library* library = platform::LoadSystemLibrary(kCurlLibrary, error);
    const bool found = library != nullptr &&
                       FindCurl(library, "curl_global_init", &curl.globalInit, error) &&
                       FindCurl(library, "curl_easy_init", &curl.easyInit, error) &&
                       FindCurl(library, "curl_easy_setopt", &curl.easySetopt, error) &&
                       FindCurl(library, "curl_easy_perform", &curl.easyPerform, error) &&
                       FindCurl(library, "curl_easy_getinfo", &curl.easyGetinfo, error) &&
                       FindCurl(library, "curl_easy_strerror", &curl.easyStrerror, error) &&
                       FindCurl(library, "curl_easy_cleanup", &curl.easyCleanup, error) &&
                       FindCurl(library, "curl_slist_append", &curl.slistAppend, error) &&
                       FindCurl(library, "curl_slist_free_all", &curl.slistFreeAll, error);
    if (found && curl.globalInit(CURL_GLOBAL_DEFAULT) == CURLE_OK)
        return curl;
    if (found)
        *error = std::string(kCurlLibrary) + " could not start";
    return CurlLibrary{};
}

// The library, loaded and started by the first request of the process; null
// when it cannot be (*error then says why).
const CurlLibrary* Curl(std::string* error) {
    static std::string failure;
    static const CurlLibrary curl = LoadCurl(&failure);
    if (curl.easyInit == nullptr) {
        *error = failure;
        return nullptr;
    }
    return &curl;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

struct CCorvanInternetSession::Transfer {
    CCorvanInternetSession* session;
    const CurlLibrary* curl;
    CURL* easy;
    CHttpResponseSink* sink;
    std::string host;
    bool resolvedReported = false;
    bool connected = false;
    bool headersStarted = false;
    bool headersComplete = false;
    bool stoppedBySink = false;

    static size_t OnHeader(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<Transfer*>(user);
        CCorvanInternetSession* session = self->session;
        const std::string_view line(data, size * count);
        if (StartsWith(line, "HTTP/")) {
            // A new response begins (an interim one may have come first).
            session->m_headers.clear();
            self->headersStarted = true;
        }
        if (line == "\r\n" || line == "\n") {
            long status = 0;
            self->curl->easyGetinfo(self->easy, CURLINFO_RESPONSE_CODE, &status);
            if (status < 200)
                return size * count;
            session->m_status = status;
            self->headersComplete = true;
            session->Notify(kResponseReceived);
            if (!session->FinishHead(self->sink)) {
                self->stoppedBySink = true;
                return 0;
            }
            return size * count;
        }
        session->m_headers.append(line);
        if (session->m_headers.size() >= 2 && session->m_headers.back() == '\n' &&
            session->m_headers[session->m_headers.size() - 2] != '\r') {
            session->m_headers.insert(session->m_headers.size() - 1, 1, '\r');
        }
        return size * count;
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<Transfer*>(user);
        if (!self->session->AppendBody(data, size * count, self->sink)) {
            self->stoppedBySink = true;
            return 0;
        }
        return size * count;
    }

    static int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
        auto* self = static_cast<Transfer*>(user);
        std::string_view text(data, size);
        if (type == CURLINFO_HEADER_OUT) {
            self->session->Notify(kRequestSent);
            return 0;
        }
        if (type != CURLINFO_TEXT)
            return 0;
        while (!text.empty() && text.front() == ' ')
            text.remove_prefix(1);
        if (!StartsWith(text, "Trying "))
            return 0;
        // "Trying <address>:<port>..." precedes every connect attempt.
        text.remove_prefix(7);
        const size_t colon = text.rfind(':');
        const std::string address(text.substr(0, colon == std::string_view::npos ? 0 : colon));
        if (!self->resolvedReported) {
            self->resolvedReported = true;
            self->session->Notify(kNameResolved, address);
        }
        self->session->Notify(kConnectingToServer);
        return 0;
    }

    static int OnPrereq(void* user, char*, char*, int, int) {
        auto* self = static_cast<Transfer*>(user);
        self->connected = true;
        self->session->Notify(kConnectedToServer);
        self->session->Notify(kSendingRequest);
        return CURL_PREREQFUNC_OK;
    }

    static int OnTransferInfo(void* user, curl_off_t total, curl_off_t now, curl_off_t,
                              curl_off_t) {
        auto* self = static_cast<Transfer*>(user);
        if (self->sink->OnTransferProgress(now, total > 0 ? total : -1))
            return 0;
        self->stoppedBySink = true;
        return 1;
    }

    static int OnResolverStart(void*, void*, void* user) {
        auto* self = static_cast<Transfer*>(user);
        self->session->Notify(kResolvingName, self->host);
        return 0;
    }
};

bool CCorvanInternetSession::InitializeLibrary() {
    // The library starts with the first request.
    return true;
}

CCorvanInternetSession::Result CCorvanInternetSession::Get(const Request& request,
                                                           CHttpResponseSink* sink) {
    bool couldNotConnect = false;
    Result result = GetOnce(request, sink, &couldNotConnect);
    for (int retry = 0; retry < kConnectRetries && result == Result::kFailed && couldNotConnect;
         ++retry) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kConnectBackoffMs));
        result = GetOnce(request, sink, &couldNotConnect);
    }
    return result;
}

CCorvanInternetSession::Result CCorvanInternetSession::GetOnce(const Request& request,
                                                               CHttpResponseSink* sink,
                                                               bool* couldNotConnect) {
    ResetResponse();

    *couldNotConnect = false;
    std::string loadError;
    const CurlLibrary* curl = Curl(&loadError);
    if (curl == nullptr) {
        SetErrorText(loadError);
        return Result::kFailed;
    }
    CURL* easy = curl->easyInit();
    if (easy == nullptr) {
        SetErrorText(std::string());
        return Result::kFailed;
    }
    Transfer transfer{this, curl, easy, sink, request.host};

    const std::string url = "http://" + request.host + request.objectPath;
    struct curl_slist* headers = nullptr;
    for (const std::string& header : request.headers) {
        std::string line = header;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        headers = curl->slistAppend(headers, line.c_str());
    }
    char errorBuffer[CURL_ERROR_SIZE] = {0};

    curl->easySetopt(easy, CURLOPT_URL, url.c_str());
    curl->easySetopt(easy, CURLOPT_PORT, static_cast<long>(request.port & 0xFFFF));
    curl->easySetopt(easy, CURLOPT_USERAGENT, m_agent.c_str());
    curl->easySetopt(easy, CURLOPT_HTTPHEADER, headers);
    curl->easySetopt(easy, CURLOPT_HTTPGET, 1L);
    curl->easySetopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl->easySetopt(easy, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    // A server that stops sending, or sends a byte now and then, ends the
    // transfer instead of holding the dialog for ever.
    curl->easySetopt(easy, CURLOPT_LOW_SPEED_LIMIT, request.minimumRate.bytesPerSecond);
    curl->easySetopt(easy, CURLOPT_LOW_SPEED_TIME, request.minimumRate.periodSeconds);
    curl->easySetopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl->easySetopt(easy, CURLOPT_BUFFERSIZE, static_cast<long>(kReadBlockSize));
    curl->easySetopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    curl->easySetopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
    curl->easySetopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl->easySetopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    curl->easySetopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl->easySetopt(easy, CURLOPT_VERBOSE, 1L);
    curl->easySetopt(easy, CURLOPT_DEBUGFUNCTION, &Transfer::OnDebug);
    curl->easySetopt(easy, CURLOPT_DEBUGDATA, &transfer);
    curl->easySetopt(easy, CURLOPT_PREREQFUNCTION, &Transfer::OnPrereq);
    curl->easySetopt(easy, CURLOPT_PREREQDATA, &transfer);
    curl->easySetopt(easy, CURLOPT_RESOLVER_START_FUNCTION, &Transfer::OnResolverStart);
    curl->easySetopt(easy, CURLOPT_RESOLVER_START_DATA, &transfer);
    curl->easySetopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl->easySetopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::OnTransferInfo);
    curl->easySetopt(easy, CURLOPT_XFERINFODATA, &transfer);

    CURLcode code = curl->easyPerform(easy);
    curl_off_t length = -1;
    if (curl->easyGetinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK)
        m_contentLength = length;
    Result result = Result::kCompleted;
    if (code == CURLE_OK && !FlushBody(sink)) {
        transfer.stoppedBySink = true;
        code = CURLE_WRITE_ERROR;
    }
    if (transfer.stoppedBySink) {
        result = Result::kStoppedBySink;
    } else if (code != CURLE_OK) {
        result = Result::kFailed;
        SetErrorText(errorBuffer[0] != '\0' ? errorBuffer : curl->easyStrerror(code));
    } else {
        Notify(kRequestComplete);
    }
    *couldNotConnect = code == CURLE_COULDNT_CONNECT;

    if (transfer.connected)
        Notify(kClosingConnection);
    curl->easyCleanup(easy);
    curl->slistFreeAll(headers);
    if (transfer.connected)
        Notify(kConnectionClosed);
    return result;
}

}  // namespace orvella
