#include "setup/symbol_file_writer.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file_system.h"
#include "setup/lst_output_file.h"

namespace orvella {

namespace {

int LastError() {
    return errno != 0 ? errno : EIO;
}

std::string Describe(int error) {
    return std::to_string(error) + "; " + FileErrorText(error);
}

}  // namespace

CSymbolFileWriter::CSymbolFileWriter(CSetupView* view, std::string destination,
                                     ProgressHook progress)
    : m_view(view),
      m_destination(std::move(destination)),
      m_temporary(m_destination + ".part"),
      m_progress(std::move(progress)) {}

CSymbolFileWriter::~CSymbolFileWriter() {
    Abandon();
}

bool CSymbolFileWriter::OnResponse(long status) {
    CloseTemporary();
    if (status != 200)
        return true;
    errno = 0;
    m_file = std::fopen(m_temporary.c_str(), "wb");
    if (m_file == nullptr) {
        return Fail("the symbol file could not be created " + m_temporary + " (" +
                        Describe(LastError()) + ")",
                    true);
    }
    std::setvbuf(m_file, nullptr, _IONBF, 0);
    m_total = 0;
    m_sawLineEnd = false;
    m_lastByte = '\0';
    return true;
}

bool CSymbolFileWriter::OnBodyBlock(const char* data, size_t size) {
    if (m_file == nullptr)
        return true;
    errno = 0;
    if (std::fwrite(data, 1, size, m_file) != size)
        return Fail("the symbol file could not be written " + m_temporary + " (" +
                        Describe(LastError()) + ")",
                    true);
    if (size > 0) {
        if (!m_sawLineEnd)
            m_sawLineEnd = std::memchr(data, '\n', size) != nullptr;
        m_lastByte = data[size - 1];
    }
    m_total += static_cast<long>(size);
    char line[64];
    std::snprintf(line, sizeof(line), "Total Bytes received %ld", m_total);
    m_view->AppendCountStatus(line);
    return true;
}

bool CSymbolFileWriter::OnTransferProgress(long long received, long long length) {
    if (!m_progress)
        return true;
    return m_file != nullptr ? m_progress(received, length) : m_progress(-1, -1);
}

bool CSymbolFileWriter::Commit(long long announcedLength) {
    if (m_file == nullptr)
        return false;
    // A reply that cannot be a symbol file must not replace one: the header
    // line alone ends with a line end.
    std::string unfit;
    if (m_total == 0) {
        unfit = "the server sent an empty file";
    } else if (!m_sawLineEnd) {
        unfit = "the server sent " + std::to_string(m_total) +
                " bytes without a line end, which cannot be a symbol file";
    } else if (announcedLength < 0 && m_lastByte != '\n') {
        unfit = "the server sent no length and the reply ended inside a line after " +
                std::to_string(m_total) + " bytes, so it may have been cut short";
    }
    if (!unfit.empty()) {
        CloseTemporary();
        return Fail(std::move(unfit), false);
    }
    errno = 0;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (!closed) {
        std::remove(m_temporary.c_str());
        return Fail("the symbol file could not be written " + m_temporary + " (" +
                        Describe(LastError()) + ")",
                    true);
    }
    // Replaces the old file in one step, also where the system's rename
    // does not.
    const int error = platform::MoveFileReplacing(m_temporary, m_destination);
    if (error != 0) {
        std::remove(m_temporary.c_str());
        return Fail(
            "the symbol file could not be replaced " + m_destination + " (" + Describe(error) + ")",
            true);
    }
    return true;
}

void CSymbolFileWriter::Abandon() {
    if (m_file == nullptr)
        return;
    CloseTemporary();
    char line[160];
    std::snprintf(line, sizeof(line),
                  "The download failed after %ld bytes; the symbol file was left as it was.",
                  m_total);
    m_view->AppendStatus(line);
}

void CSymbolFileWriter::Cancel() {
    const long received = m_file != nullptr ? m_total : 0;
    CloseTemporary();
    char line[160];
    std::snprintf(line, sizeof(line),
                  "The download was cancelled after %ld bytes; the symbol file was left as it "
                  "was.",
                  received);
    m_view->AppendStatus(line);
}

bool CSymbolFileWriter::Fail(std::string reason, bool statusLine) {
    m_failure = std::move(reason);
    if (statusLine)
        m_view->AppendStatus(static_cast<char>(std::toupper(m_failure[0])) + m_failure.substr(1));
    return false;
}

void CSymbolFileWriter::CloseTemporary() {
    if (m_file == nullptr)
        return;
    std::fclose(m_file);
    m_file = nullptr;
    std::remove(m_temporary.c_str());
}

}  // namespace orvella
