// What libNSTFeed records, and how the program that hosts a plug-in
// configures it. The seven NSTFeed.h operations all land in the one store
// returned by FeedStore(). Every member is safe from any thread (one lock).
// Without an observer, the values of a row wait in a queue of the calling
// thread's own, set without the lock and without any exchange with another
// thread, and its commit puts the row on that queue; every call that takes
// the lock first hands every thread's queued rows, and then the calling
// thread's pending values, to their series. So each thread's calls have
// their effect in its call order, every reader sees every row committed
// before its call, and other threads never see values not committed (the
// values a thread sets belong to the row its own commit ends).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

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
    ~CFeedStore();
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
    // platform's high-resolution counter. It must not call into the store.
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
    // The one store there is: a thread's queue is found without the store
    // named (CThreadQueue).
    CFeedStore() = default;
    friend CFeedStore& FeedStore();
    friend struct CThreadQueue;

    struct CQueue;
    // A series seen for the first time is created (as not announced).
    CSeries& Find(const char* symbol, float interval);
    // Hands every thread's queued rows to their series, then the values
    // pending in the calling thread's free slot; under the lock.
    void FlushKeptRows() const;
    // Hands a queue's rows to their series; under the lock.
    void DrainKeptRows(CQueue& queue);
    // Hands the values pending in the calling thread's own queue to their
    // series; under the lock.
    void FlushPendingValues(CQueue& queue);
    // The calling thread's queue, added to the store's list at its first
    // call; null when the list is full (the thread's calls then go the
    // general way).
    CQueue* ThreadQueue();
    CQueue* TakeQueue();
    // The clock of arrivals.
    double Now() const;
    void SetValueLocked(const char* symbol, float interval, int column, double value);
    void CommitRowLocked(const char* symbol, float interval);

    // A row set without the lock: pending in the queue's free slot, queued
    // from its commit until the next call that takes the lock.
    struct CKeptRow {
        static constexpr size_t kMaxSymbol = 47;
        static constexpr int kMaxValues = 16;
        uint32_t intervalBits = 0;
        float interval = 0.0f;
        int count = 0;
        bool history = false;
        // When the row was committed; NaN: not taken (a history row, or the
        // store kept no rows then).
        double arrival = 0.0;
        char symbol[kMaxSymbol + 1] = {};
        int columns[kMaxValues] = {};
        double values[kMaxValues] = {};
    };
    // Rows a thread queues before a call hands them on: the lock is taken
    // once for so many rows while nobody reads.
    static constexpr uint64_t kKeptRows = 256;
    // Commits a queued row to its series; under the lock.
    void CommitKept(CSeries& series, const CKeptRow& row);

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
    // Read without the lock by the fast paths.
    std::atomic<CFeedObserver*> m_observer{nullptr};
    // The queues of the threads that set rows without the lock (under the
    // lock): at most so many, as a queue stays when its thread ends.
    static constexpr size_t kMaxQueues = 32;
    std::vector<std::unique_ptr<CQueue>> m_queues;
    // Written under the lock, read by the commits without it.
    std::atomic<bool> m_keepRows{true};
    std::atomic<SteadyClock> m_clock{nullptr};
    std::atomic<int> m_openRequests{0};
    std::string m_user;
    std::string m_password;
    int m_requireCount = 0;
    int m_getCount = 0;
    int m_percentUpdates = 0;
    int m_lastPercent = -1;
};

// The store behind the library's exported functions.
NSTHOST_API CFeedStore& FeedStore();

}  // namespace nsthost
