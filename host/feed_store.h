// What libNSTFeed records, and how the program that hosts a plug-in
// configures it. The seven NSTFeed.h operations all land in the one store
// returned by FeedStore(). Every member is safe from any thread (one lock).
// Without an observer, the values of a row are kept by the thread that set
// them (no lock, one such row at a time) and reach their series with that
// thread's next call, which takes the lock: for that thread every call has
// its effect in call order; other threads never see values not committed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "host/series.h"
#include "platform/key_index.h"

namespace nsthost {

// Sees every feed call as it arrives, in call order, with the arguments as
// the plug-in passed them. Called on the plug-in's calling thread with the
// store's lock held: it must not call back into the store.
class NSTHOST_API CFeedObserver {
  public:
    virtual ~CFeedObserver();
    virtual void OnRequireUserIDPassword() {}
    virtual void OnGetUserIDPassword() {}
    virtual void OnSetupData(const char* symbol, const char* description, float interval,
                             int columns, const char* category, double start) {}
    virtual void OnSetLabel(const char* symbol, float interval, int column, const char* label) {}
    virtual void OnSetValue(const char* symbol, float interval, int column, double value) {}
    virtual void OnCommitRow(const char* symbol, float interval) {}
    virtual void OnUpdatePercent(int percent) {}
};

// Seconds of a steady clock.
using SteadyClock = double (*)();

// Size of each of GetUserIDPassword's buffers, the terminating NUL included.
inline constexpr size_t kCredentialBufferSize = 24;

class NSTHOST_API CFeedStore {
  public:
    // Answers of GetUserIDPassword; each is cut to 23 bytes when handed out.
    void SetCredentials(const std::string& user, const std::string& password);
    // false: keep only counts, first and last dates and the last row of each
    // series (memory stays flat however many rows arrive). Applies to series
    // created afterwards; set it before the plug-in is loaded.
    void SetKeepRows(bool keepRows);
    // Null stops observing. The observer must outlive its installation.
    void SetObserver(CFeedObserver* observer);
    // The clock that times the arrival of each streamed row while rows are
    // kept, so that a gap fill's rows can be told from live ones; null: the
    // platform's high-resolution counter.
    void SetClock(SteadyClock clock);
    // Rows committed while at least one request is open count as history.
    void BeginRequest();
    void EndRequest();
    // Forgets every series and counter (not the configuration).
    void Clear();

    // The seven operations of the feed library.
    void RequireUserIDPassword();
    void GetUserIDPassword(char** user, char** password);
    void SetupData(const char* symbol, const char* description, float interval, int columns,
                   const char* category, double start);
    void SetLabel(const char* symbol, float interval, int column, const char* label);
    void SetValue(const char* symbol, float interval, int column, double value);
    void CommitRow(const char* symbol, float interval);
    void UpdatePercent(int percent);

    // What was recorded.
    int RequireCount() const;
    int GetCredentialsCount() const;
    int PercentUpdates() const;
    // The last percentage; -1 before the first.
    int LastPercent() const;
    size_t SeriesCount() const;
    // Visits every series in key order with the lock held; the visitor must
    // not call back into the store.
    void ForEachSeries(const std::function<void(const CSeries&)>& visit) const;
    // Runs visit on one series under the lock; false when it does not exist.
    bool WithSeries(const char* symbol, float interval,
                    const std::function<void(const CSeries&)>& visit) const;

  private:
    // A series seen for the first time is created (as not announced).
    CSeries& Find(const char* symbol, float interval);
    // Hands the pending row's values to their series when the calling thread
    // owns it, and gives the row up; under the lock.
    void FlushThreadRow() const;
    // When a row committed now arrives, for a series: NaN for history rows
    // and series without rows. Under the lock.
    double Arrival(const CSeries& series) const;
    // Commits the calling thread's pending row when it is for this series
    // and nobody observes; false (nothing done) otherwise. Under the lock.
    bool CommitThreadRow(const char* symbol, float interval);

    // The values of a row that one thread is setting, kept without the lock
    // until that thread's next call that takes it.
    struct CPendingRow {
        static constexpr size_t kMaxSymbol = 47;
        static constexpr int kMaxValues = 16;
        uint64_t generation = 0;
        uint32_t intervalBits = 0;
        float interval = 0.0f;
        uint32_t symbolLength = 0;
        int count = 0;
        char symbol[kMaxSymbol + 1] = {};
        int columns[kMaxValues] = {};
        double values[kMaxValues] = {};
    };

    mutable std::mutex m_lock;
    std::map<SeriesKey, CSeries> m_series;
    // The same series by symbol and interval bits: streamed rows interleave
    // many series, so the first call of a row seldom names the previous
    // call's series, and the ordered map costs a string compare per level to
    // find it. Long symbols refer to the key in m_series (a map node and its
    // key stay where they are until the series is forgotten).
    platform::CKeyIndex<char, CSeries> m_index;
    // The series of the previous call: consecutive calls nearly always name
    // the same series, and map nodes stay where they are.
    CSeries* m_last = nullptr;
    // Read without the lock by SetValue's fast path.
    std::atomic<CFeedObserver*> m_observer{nullptr};
    // Written only by the thread that owns it (m_rowOwner; none: the
    // default id), which claims it without the lock and gives it up under it.
    CPendingRow m_row;
    std::atomic<std::thread::id> m_rowOwner{};
    // Counts the Clear calls: values a thread kept from before one are
    // dropped with the series they were for.
    std::atomic<uint64_t> m_generation{0};
    std::string m_user;
    std::string m_password;
    bool m_keepRows = true;
    SteadyClock m_clock = nullptr;
    int m_openRequests = 0;
    int m_requireCount = 0;
    int m_getCount = 0;
    int m_percentUpdates = 0;
    int m_lastPercent = -1;
};

// The store behind the library's exported functions.
NSTHOST_API CFeedStore& FeedStore();

}  // namespace nsthost
