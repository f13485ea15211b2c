// The setup program's HTTP client: one session per download, one GET at a
// time, the client's progress turned into status lines (with the
// notification's code, "dwInternetStatus %ld; %s", when raw lines are asked
// for) and the body handed on in blocks of at most
// 131071 bytes. Built on the system's HTTP client (libcurl on Linux, WinINet
// on Windows; CMake picks the file); the client's own redirect following
// stays off, so the caller sees 301, 302 and 303 and decides itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvella {

// Receives one response.
class CHttpResponseSink {
  public:
    virtual ~CHttpResponseSink() = default;
    // The headers of the final response are complete. False stops the
    // transfer.
    virtual bool OnResponse(long status) = 0;
    // The next block of the body, 1 to kReadBlockSize bytes; every block but
    // the last is full. False stops the transfer.
    virtual bool OnBodyBlock(const char* data, size_t size) = 0;
    // Called often while the request runs (about once a second when nothing
    // arrives, from connecting on): body bytes received so far and the
    // announced length (-1 when none was announced). False stops the
    // transfer.
    virtual bool OnTransferProgress(long long received, long long length) { return true; }
};

// The slowest transfer the download waits for: one that stays below
// bytesPerSecond for periodSeconds in a row (no data at all included) is
// given up, and the symbol file that was there stays.
struct MinimumRate {
    static constexpr long kBytesPerSecond = 1024;
    static constexpr long kPeriodSeconds = 60;

    long bytesPerSecond = kBytesPerSecond;
    long periodSeconds = kPeriodSeconds;

    // The error of a transfer given up for it.
    std::string TooSlowText() const;
};

// Measures a transfer against a MinimumRate, one period after the other, for
// a client that does not do so itself.
class CRateCheck {
  public:
    CRateCheck(const MinimumRate& rate, uint64_t nowMs) : m_rate(rate), m_periodStart(nowMs) {}
    // Counts bytes that arrived by nowMs. False once a whole period has
    // passed with fewer bytes than the rate asks for.
    bool Note(long long bytes, uint64_t nowMs);

  private:
    MinimumRate m_rate;
    uint64_t m_periodStart;
    long long m_periodBytes = 0;
};

class CCorvanInternetSession {
  public:
    // Status codes of the notifications.
    static constexpr long kResolvingName = 10;
    static constexpr long kNameResolved = 11;
    static constexpr long kConnectingToServer = 20;
    static constexpr long kConnectedToServer = 21;
    static constexpr long kSendingRequest = 30;
    static constexpr long kRequestSent = 31;
    static constexpr long kReceivingResponse = 40;
    static constexpr long kResponseReceived = 41;
    static constexpr long kClosingConnection = 50;
    static constexpr long kConnectionClosed = 51;
    static constexpr long kHandleCreated = 60;
    static constexpr long kHandleClosing = 70;
    static constexpr long kRequestComplete = 100;
    static constexpr long kRedirect = 110;

    static constexpr size_t kReadBufferSize = 131072;
    static constexpr size_t kReadBlockSize = 131071;
    static constexpr long kConnectTimeoutMs = 30000;
    static constexpr long kConnectBackoffMs = 1000;
    static constexpr int kConnectRetries = 1;
    static constexpr size_t kMaxErrorText = 1024;

    using StatusSink = std::function<void(const std::string& line)>;

    struct Request {
        std::string host;
        long port = 0;  // 0: the standard HTTP port
        std::string objectPath;
        std::vector<std::string> headers;  // each "Name: value" with its CR LF
        MinimumRate minimumRate;
    };

    enum class Result {
        kCompleted,      // a response arrived in full
        kFailed,         // the client raised an error (ErrorText)
        kStoppedBySink,  // the sink stopped the transfer
    };

    // Starts what the client library needs before the first session; once
    // per process. False when it cannot start. (libcurl is loaded and
    // started by the first request instead, so jobs without one never map it.)
    static bool InitializeLibrary();

    // agent is the client's own agent name; status lines go to statusSink,
    // raw (with the notification's code, every notification) or plain (the
    // steps a user follows: names, connects, the request and its reply).
    CCorvanInternetSession(std::string agent, uintptr_t context, StatusSink statusSink,
                           bool rawLines = true);
    virtual ~CCorvanInternetSession();
    CCorvanInternetSession(const CCorvanInternetSession&) = delete;
    CCorvanInternetSession& operator=(const CCorvanInternetSession&) = delete;

    // Sends one GET and receives its response into sink. Status() and
    // Headers() describe the final response afterwards. The connection is
    // closed (with its notifications) when the call returns.
    Result Get(const Request& request, CHttpResponseSink* sink);

    long Status() const { return m_status; }
    // All headers of the final response, each line ended by CR LF.
    const std::string& Headers() const { return m_headers; }
    // The description of the last error, at most kMaxErrorText characters,
    // "Some crazy unknown error" when the client gave none.
    const std::string& ErrorText() const { return m_errorText; }
    // Body bytes handed to the sink by the last Get.
    long long BodyBytes() const { return m_bodyBytes; }
    // The length the final response announced, -1 when it announced none
    // (a body that ends with the connection).
    long long ContentLength() const { return m_contentLength; }

    // The raw status line for a notification.
    static std::string StatusLine(long code, const std::string& information);
    // The plain status line: the raw line's text without the code; empty for
    // the notifications a user need not follow (handles, waiting, unknown).
    static std::string PlainStatusLine(long code, const std::string& information);

  protected:
    // Called for every notification; passes the status line on.
    virtual void OnStatusCallback(uintptr_t context, long code, const std::string& information);

  private:
    // One request on the wire; the client's callbacks live there.
    struct Transfer;

    // couldNotConnect tells whether a failure was a refused connection,
    // which is worth one more attempt.
    Result GetOnce(const Request& request, CHttpResponseSink* sink, bool* couldNotConnect);
    void Notify(long code, const std::string& information = std::string());
    // Keeps at most kMaxErrorText characters, kUnknownErrorText for none.
    void SetErrorText(std::string text);

    // What every client does with a response, whatever its transport:
    // Forgets the last response before a request.
    void ResetResponse();
    // The final response's head is in m_status and m_headers: says a
    // redirect that names its target and hands the status to the sink. False
    // when the sink stops the transfer.
    bool FinishHead(CHttpResponseSink* sink);
    // The body is cut into blocks of kReadBlockSize: AppendBody adds bytes
    // to the block being filled, a client that reads into the block itself
    // asks BlockRoom where and how much and then counts what it read with
    // CommitBody. Each hands on the block once it is full; FlushBody hands on
    // the last, short one. False when the sink stops the transfer.
    bool AppendBody(const char* data, size_t size, CHttpResponseSink* sink);
    char* BlockRoom(size_t* room);
    bool CommitBody(size_t size, CHttpResponseSink* sink);
    bool FlushBody(CHttpResponseSink* sink);
    // Body bytes received so far, handed on or not.
    long long ReceivedBytes() const { return m_bodyBytes + static_cast<long long>(m_blockUsed); }

    static constexpr char kUnknownErrorText[] = "Some crazy unknown error";

    std::string m_agent;
    uintptr_t m_context;
    StatusSink m_statusSink;
    bool m_rawLines;
    std::unique_ptr<char[]> m_buffer;  // one block plus a terminating NUL
    size_t m_blockUsed = 0;            // bytes of the block being filled

    // The response of the last Get.
    long m_status = 0;
    std::string m_headers;
    std::string m_errorText;
    long long m_bodyBytes = 0;
    long long m_contentLength = -1;
};

}  // namespace orvella
