// Stores the body of a 200 response as the symbol file. The body goes to a
// temporary file next to the destination, which replaces the destination
// only when the whole body has arrived and can be a symbol file, so a
// failed, empty or cut-short download leaves the symbol file that was there
// before untouched.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "setup/internet_session.h"
#include "setup/setup_view.h"

namespace orvella {

class CSymbolFileWriter : public CHttpResponseSink {
  public:
    // Told the bytes of the symbol file received so far and the announced
    // length (-1: none), or -1 and -1 while no symbol file is arriving yet
    // (connecting, waiting, a redirect). False stops the transfer.
    using ProgressHook = std::function<bool(int64_t done, int64_t total)>;

    // destination: the symbol file's full path.
    CSymbolFileWriter(CSetupView* view, std::string destination, ProgressHook progress = {});
    ~CSymbolFileWriter() override;
    CSymbolFileWriter(const CSymbolFileWriter&) = delete;
    CSymbolFileWriter& operator=(const CSymbolFileWriter&) = delete;

    // A 200 response creates the temporary file (false, with a status line,
    // when it cannot be created); other responses' bodies are ignored.
    bool OnResponse(long status) override;
    // Writes a block of a 200 body and appends "Total Bytes received %ld".
    bool OnBodyBlock(const char* data, size_t size) override;
    // Passes the progress on to the hook.
    bool OnTransferProgress(long long received, long long length) override;

    // The transfer ended cleanly; announcedLength is the length the
    // response announced (-1: none). Replaces the destination with the body
    // when it holds at least one complete line and, without an announced
    // length, ends with a whole line (a body that ends with the connection
    // may have been cut anywhere else). False, with a status line and
    // FailureReason, when it does not or cannot.
    bool Commit(long long announcedLength);
    // The transfer failed: drops what arrived (saying so when part of a body
    // had been written) and keeps the destination as it was.
    void Abandon();
    // The user stopped the transfer: drops what arrived and says that the
    // symbol file was left as it was.
    void Cancel();

    const std::string& TemporaryPath() const { return m_temporary; }
    // Why the body was not stored; empty while nothing failed here.
    const std::string& FailureReason() const { return m_failure; }

  private:
    void CloseTemporary();
    // Records why the body is not stored, also as a status line when
    // statusLine; returns false.
    bool Fail(std::string reason, bool statusLine);

    CSetupView* m_view;
    std::string m_destination;
    std::string m_temporary;
    std::FILE* m_file = nullptr;
    ProgressHook m_progress;
    long m_total = 0;
    bool m_sawLineEnd = false;
    char m_lastByte = '\0';
    std::string m_failure;
};

}  // namespace orvella
