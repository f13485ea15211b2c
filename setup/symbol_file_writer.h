// Stores the body of a 200 response as the symbol file. The body goes to a
// temporary file next to the destination, which replaces the destination
// only when the whole body has arrived, so a failed or cut-short download
// leaves the symbol file that was there before untouched.
#pragma once

#include <cstdio>
#include <string>

#include "setup/internet_session.h"
#include "setup/setup_view.h"

namespace orvella {

class CSymbolFileWriter : public CHttpResponseSink {
  public:
    // destination: the symbol file's full path.
    CSymbolFileWriter(CSetupView* view, std::string destination);
    ~CSymbolFileWriter() override;
    CSymbolFileWriter(const CSymbolFileWriter&) = delete;
    CSymbolFileWriter& operator=(const CSymbolFileWriter&) = delete;

    // A 200 response creates the temporary file (false, with a status line,
    // when it cannot be created); other responses' bodies are ignored.
    bool OnResponse(long status) override;
    // Writes a block of a 200 body, appends "Total Bytes received %ld", steps
    // the progress bar and lets waiting window messages run.
    bool OnBodyBlock(const char* data, size_t size) override;

    // The whole body has arrived: replaces the destination with it. False,
    // with a status line, when it cannot.
    bool Commit();
    // The transfer failed: drops what arrived (saying so when part of a body
    // had been written) and keeps the destination as it was.
    void Abandon();

    const std::string& TemporaryPath() const { return m_temporary; }

  private:
    void CloseTemporary();

    CSetupView* m_view;
    std::string m_destination;
    std::string m_temporary;
    std::FILE* m_file = nullptr;
    long m_total = 0;
};

}  // namespace orvella
