// Writes every call between the host and the plug-in as one JSON object per
// line, in call order, flushed line by line (see host/README.md for the
// format). Safe from any thread.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "host/feed_store.h"

namespace nsthost {

class CCallRecorder : public CFeedObserver {
  public:
    CCallRecorder() = default;
    ~CCallRecorder() override;
    CCallRecorder(const CCallRecorder&) = delete;
    CCallRecorder& operator=(const CCallRecorder&) = delete;

    // Opens the record file ("-" is standard output), truncating it. Returns
    // false and sets *error when it cannot be opened.
    bool Open(const std::string& path, std::string* error);
    bool IsOpen() const { return m_file != nullptr; }
    // Records the series calls (NSTSETUPDATA, NSTSETLABEL, NSTSETVALUE,
    // NSTCOMMITROW) of this symbol only; empty records every symbol. Call
    // before the plug-in is loaded.
    void RecordOnlySymbol(const std::string& symbol) { m_onlySymbol = symbol; }
    bool WritesToStdout() const { return m_file == stdout; }

    // The plug-in's exports, recorded when they return.
    void RecordUserIDPasswordChanged(const std::string& user, const std::string& password,
                                     int result);
    void RecordRequestTicker(const std::string& symbol, const std::string& description,
                             const std::string& category, double start, float interval,
                             const std::string& columns, int result);
    void RecordRemoveTicker(const std::string& symbol, float interval, int result);
    // Loading and unloading the plug-in (its start-up and exit run then).
    void RecordLoad(const std::string& path, int result);
    void RecordUnload();
    void RecordMessageBox(const std::wstring& caption, const std::wstring& text, unsigned flags);

    void OnRequireUserIDPassword() override;
    void OnGetUserIDPassword() override;
    void OnSetupData(const char* symbol, const char* description, float interval, int columns,
                     const char* category, double start) override;
    void OnSetLabel(const char* symbol, float interval, int column, const char* label) override;
    void OnSetValue(const char* symbol, float interval, int column, double value) override;
    void OnCommitRow(const char* symbol, float interval) override;
    void OnUpdatePercent(int percent) override;

  private:
    void Write(const std::string& line);
    bool Skips(const char* symbol) const;

    std::mutex m_lock;
    FILE* m_file = nullptr;
    std::string m_onlySymbol;
};

}  // namespace nsthost
