#include "host/call_recorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/json_line.h"

namespace nsthost {
namespace {

std::string_view Safe(const char* text) {
    return text != nullptr ? text : "";
}

// The password as the plug-in's log shows it: never its text or length.
std::string_view Masked(const std::string& password) {
    return password.empty() ? "" : "********";
}

}  // namespace

CCallRecorder::~CCallRecorder() {
    if (m_file != nullptr && m_file != stdout) {
        std::fclose(m_file);
    }
}

bool CCallRecorder::Open(const std::string& path, std::string* error) {
    if (path == "-") {
        m_file = stdout;
        return true;
    }
    // The record holds the user's calls: readable by its owner only, also
    // when a plain file was there before (devices and pipes stay as they are).
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    struct stat status {};
    if (fd >= 0 && ::fstat(fd, &status) == 0 &&
        (!S_ISREG(status.st_mode) || (status.st_mode & 077) == 0 || ::fchmod(fd, 0600) == 0)) {
        m_file = ::fdopen(fd, "wb");
    }
    if (m_file == nullptr) {
        *error = "cannot open record file " + path + ": " + std::strerror(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    return true;
}

void CCallRecorder::Write(const std::string& line) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_file == nullptr) {
        return;
    }
    std::fwrite(line.data(), 1, line.size(), m_file);
    // Readers follow the file while the host runs.
    std::fflush(m_file);
}

void CCallRecorder::RecordUserIDPasswordChanged(const std::string& user,
                                                const std::string& password, int result) {
    Write(CJsonLine("UserIDPasswordChanged")
              .Text("user", user)
              .Text("password", Masked(password))
              .Integer("result", result)
              .Finish());
}

void CCallRecorder::RecordRequestTicker(const std::string& symbol, const std::string& description,
                                        const std::string& category, double start, float interval,
                                        const std::string& columns, int result) {
    Write(CJsonLine("RequestTicker")
              .Text("symbol", symbol)
              .Text("description", description)
              .Text("category", category)
              .Double("start", start)
              .Float("interval", interval)
              .Text("columns", columns)
              .Integer("result", result)
              .Finish());
}

void CCallRecorder::RecordRemoveTicker(const std::string& symbol, float interval, int result) {
    Write(CJsonLine("RemoveTicker")
              .Text("symbol", symbol)
              .Float("interval", interval)
              .Integer("result", result)
              .Finish());
}

void CCallRecorder::RecordLoad(const std::string& path, int result) {
    Write(CJsonLine("Load").Text("path", path).Integer("result", result).Finish());
}

void CCallRecorder::RecordUnload() {
    Write(CJsonLine("Unload").Finish());
}

void CCallRecorder::RecordMessageBox(const std::wstring& caption, const std::wstring& text,
                                     unsigned flags) {
    Write(CJsonLine("MessageBox")
              .Wide("caption", caption)
              .Wide("text", text)
              .Integer("flags", flags)
              .Finish());
}

void CCallRecorder::OnRequireUserIDPassword() {
    Write(CJsonLine("RequireUserIDPassword").Finish());
}

void CCallRecorder::OnGetUserIDPassword() {
    Write(CJsonLine("GetUserIDPassword").Finish());
}

void CCallRecorder::OnSetupData(const char* symbol, const char* description, float interval,
                                int columns, const char* category, double start) {
    Write(CJsonLine("NSTSETUPDATA")
              .Text("symbol", Safe(symbol))
              .Text("description", Safe(description))
              .Float("interval", interval)
              .Integer("columns", columns)
              .Text("category", Safe(category))
              .Double("start", start)
              .Finish());
}

void CCallRecorder::OnSetLabel(const char* symbol, float interval, int column, const char* label) {
    Write(CJsonLine("NSTSETLABEL")
              .Text("symbol", Safe(symbol))
              .Float("interval", interval)
              .Integer("column", column)
              .Text("label", Safe(label))
              .Finish());
}

void CCallRecorder::OnSetValue(const char* symbol, float interval, int column, double value) {
    Write(CJsonLine("NSTSETVALUE")
              .Text("symbol", Safe(symbol))
              .Float("interval", interval)
              .Integer("column", column)
              .Double("value", value)
              .Finish());
}

void CCallRecorder::OnCommitRow(const char* symbol, float interval) {
    Write(CJsonLine("NSTCOMMITROW")
              .Text("symbol", Safe(symbol))
              .Float("interval", interval)
              .Finish());
}

void CCallRecorder::OnUpdatePercent(int percent) {
    Write(CJsonLine("UpdatePercent").Integer("percent", percent).Finish());
}

}  // namespace nsthost
