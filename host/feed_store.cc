#include "host/feed_store.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "platform/clock.h"

namespace nsthost {
namespace {

// Copies text into a caller's buffer of kCredentialBufferSize bytes, cut so
// that the terminating NUL always fits.
void CopyCredential(const std::string& text, char** target) {
    if (target == nullptr || *target == nullptr) {
        return;
    }
    const size_t n = std::min(text.size(), kCredentialBufferSize - 1);
    std::memcpy(*target, text.data(), n);
    (*target)[n] = '\0';
}

// Whether text (NUL-terminated) is known, without a length first: streamed
// calls name the same few characters again and again.
bool SameText(std::string_view known, const char* text) {
    size_t i = 0;
    for (; i < known.size(); ++i) {
        if (text[i] != known[i]) {
            return false;
        }
    }
    return text[i] == '\0';
}

// The same for a known text that ends with its NUL.
bool SameText(const char* known, const char* text) {
    size_t i = 0;
    for (; known[i] != '\0'; ++i) {
        if (text[i] != known[i]) {
            return false;
        }
    }
    return text[i] == '\0';
}

uint32_t IntervalBits(float interval) {
    uint32_t bits = 0;
    std::memcpy(&bits, &interval, sizeof bits);
    return bits;
}

// Copies a NUL-terminated text of at most max characters, the NUL included;
// false (target unspecified) for a longer one.
bool CopyShortText(const char* text, char* target, size_t max) {
    for (size_t i = 0; i <= max; ++i) {
        target[i] = text[i];
        if (text[i] == '\0') {
            return true;
        }
    }
    return false;
}

double CounterSeconds() {
    int64_t count = 0;
    int64_t frequency = 0;
    if (!platform::QueryPerformanceCounter(&count) ||
        !platform::QueryPerformanceFrequency(&frequency) || frequency <= 0) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return static_cast<double>(count) / static_cast<double>(frequency);
}

}  // namespace

CFeedObserver::~CFeedObserver() = default;

// One thread's rows set without the lock: rows [head, tail) are queued, the
// thread writes slot tail and publishes it by moving tail on; a reader under
// the lock hands the queued rows on and publishes the slots free again by
// moving head on. So neither side waits for the other, and the thread's own
// calls need no exchange with another thread. A queue stays in the store's
// list after its thread ends (its rows are handed on as any others; values
// it set and never committed are no part of any row).
struct CFeedStore::CQueue {
    std::atomic<uint64_t> head{0};
    std::atomic<uint64_t> tail{0};
    // Values pending in slot tail: the owning thread's alone.
    int values = 0;
    CKeptRow rows[kKeptRows];
};

// The calling thread's queue, found with one read.
struct CThreadQueue {
    static thread_local CFeedStore::CQueue* own;
    // Set when the store had no queue left for the thread.
    static thread_local bool none;
};

thread_local CFeedStore::CQueue* CThreadQueue::own = nullptr;
thread_local bool CThreadQueue::none = false;

CFeedStore::~CFeedStore() = default;

CFeedStore::CQueue* CFeedStore::ThreadQueue() {
    CQueue* const own = CThreadQueue::own;
    return own != nullptr ? own : TakeQueue();
}

CFeedStore::CQueue* CFeedStore::TakeQueue() {
    if (CThreadQueue::none) {
        return nullptr;
    }
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_queues.size() >= kMaxQueues) {
        CThreadQueue::none = true;
        return nullptr;
    }
    m_queues.push_back(std::make_unique<CQueue>());
    CThreadQueue::own = m_queues.back().get();
    return CThreadQueue::own;
}

void CFeedStore::SetCredentials(const std::string& user, const std::string& password) {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    m_user = user;
    m_password = password;
}

void CFeedStore::SetKeepRows(bool keepRows) {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    m_keepRows.store(keepRows);
}

void CFeedStore::SetObserver(CFeedObserver* observer) {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    m_observer.store(observer);
}

void CFeedStore::SetClock(SteadyClock clock) {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    m_clock.store(clock);
}

double CFeedStore::Now() const {
    const SteadyClock clock = m_clock.load(std::memory_order_relaxed);
    return clock != nullptr ? clock() : CounterSeconds();
}

void CFeedStore::BeginRequest() {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    m_openRequests.store(m_openRequests.load() + 1);
}

void CFeedStore::EndRequest() {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    if (const int open = m_openRequests.load(); open > 0) {
        m_openRequests.store(open - 1);
    }
}

void CFeedStore::Clear() {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    m_index.Clear();
    m_series.clear();
    m_last = nullptr;
    m_openRequests.store(0);
    m_requireCount = 0;
    m_getCount = 0;
    m_percentUpdates = 0;
    m_lastPercent = -1;
}

CSeries& CFeedStore::Find(const char* symbol, float interval) {
    const uint32_t bits = IntervalBits(interval);
    symbol = symbol != nullptr ? symbol : "";
    if (m_last != nullptr && m_last->Key().intervalBits == bits &&
        SameText(m_last->Key().symbol, symbol)) {
        return *m_last;
    }
    const std::string_view name(symbol);
    if (CSeries* known = m_index.Find(name, bits)) {
        m_last = known;
        return *m_last;
    }
    SeriesKey key = SeriesKey::Of(symbol, interval);
    const auto it = m_series.emplace(key, CSeries(key, m_keepRows.load())).first;
    m_index.Insert(it->first.symbol, bits, &it->second);
    m_last = &it->second;
    return *m_last;
}

void CFeedStore::RequireUserIDPassword() {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    ++m_requireCount;
    if (CFeedObserver* observer = m_observer.load()) {
        observer->OnRequireUserIDPassword();
    }
}

void CFeedStore::GetUserIDPassword(char** user, char** password) {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    ++m_getCount;
    if (CFeedObserver* observer = m_observer.load()) {
        observer->OnGetUserIDPassword();
    }
    CopyCredential(m_user, user);
    CopyCredential(m_password, password);
}

void CFeedStore::SetupData(const char* symbol, const char* description, float interval, int columns,
                           const char* category, double start) {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    if (CFeedObserver* observer = m_observer.load()) {
        observer->OnSetupData(symbol, description, interval, columns, category, start);
    }
    Find(symbol, interval).Announce(description, columns, category, start);
}

void CFeedStore::SetLabel(const char* symbol, float interval, int column, const char* label) {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    if (CFeedObserver* observer = m_observer.load()) {
        observer->OnSetLabel(symbol, interval, column, label);
    }
    Find(symbol, interval).SetLabel(column, label);
}

void CFeedStore::SetValue(const char* symbol, float interval, int column, double value) {
    // The streamed rows' calls: while nobody observes the calls one by one,
    // the values of a row wait in the free slot of the thread's queue; a
    // call with another series' values there, or a full queue, goes the
    // general way.
    CQueue* const queue =
        m_observer.load(std::memory_order_relaxed) == nullptr && column >= 1 && column <= kMaxColumn
            ? ThreadQueue()
            : nullptr;
    if (queue != nullptr) {
        const char* const name = symbol != nullptr ? symbol : "";
        const uint32_t bits = IntervalBits(interval);
        const uint64_t tail = queue->tail.load(std::memory_order_relaxed);
        CKeptRow& row = queue->rows[tail % kKeptRows];
        const int values = queue->values;
        bool kept = false;
        if (values == 0) {
            // A new row; a full queue is handed on the general way first
            // (its free slot is still the readers').
            kept = tail - queue->head.load(std::memory_order_acquire) < kKeptRows &&
                   CopyShortText(name, row.symbol, CKeptRow::kMaxSymbol);
            if (kept) {
                row.intervalBits = bits;
                row.interval = interval;
            }
        } else {
            kept = values < CKeptRow::kMaxValues && row.intervalBits == bits &&
                   SameText(row.symbol, name);
        }
        if (kept) {
            row.columns[values] = column;
            row.values[values] = value;
            queue->values = values + 1;
            return;
        }
    }
    SetValueLocked(symbol, interval, column, value);
}

void CFeedStore::SetValueLocked(const char* symbol, float interval, int column, double value) {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    if (CFeedObserver* observer = m_observer.load()) {
        observer->OnSetValue(symbol, interval, column, value);
    }
    Find(symbol, interval).SetValue(column, value);
}

void CFeedStore::CommitKept(CSeries& series, const CKeptRow& row) {
    double arrival = std::numeric_limits<double>::quiet_NaN();
    if (!row.history && series.KeepsRows()) {
        arrival = std::isnan(row.arrival) ? Now() : row.arrival;
    }
    series.CommitCells(row.columns, row.values, row.count, row.history, arrival);
}

void CFeedStore::DrainKeptRows(CQueue& queue) {
    // The rows arrive as their commits would have had them arrive: nothing
    // that takes the lock came between, as it would have drained them first.
    CFeedObserver* const observer = m_observer.load();
    uint64_t head = queue.head.load(std::memory_order_relaxed);
    const uint64_t tail = queue.tail.load(std::memory_order_acquire);
    const CKeptRow* const kept = queue.rows;
    while (head != tail) {
        const CKeptRow& first = kept[head % kKeptRows];
        CSeries& series = Find(first.symbol, first.interval);
        // Consecutive rows are mostly of one series.
        uint64_t end = head + 1;
        for (; end != tail; ++end) {
            const CKeptRow& row = kept[end % kKeptRows];
            if (row.intervalBits != first.intervalBits || !SameText(first.symbol, row.symbol)) {
                break;
            }
        }
        if (observer != nullptr) {
            for (uint64_t k = head; k != end; ++k) {
                const CKeptRow& row = kept[k % kKeptRows];
                for (int i = 0; i < row.count; ++i) {
                    observer->OnSetValue(row.symbol, row.interval, row.columns[i], row.values[i]);
                }
                observer->OnCommitRow(row.symbol, row.interval);
            }
        }
        if (series.KeepsRows() || end - head < 3) {
            for (uint64_t k = head; k != end; ++k) {
                CommitKept(series, kept[k % kKeptRows]);
            }
        } else {
            // A series that keeps no rows keeps the last row's cells alone,
            // so of the rows between the first and the last only the count
            // and the width remain.
            CommitKept(series, first);
            uint64_t history = 0;
            int width = 0;
            for (uint64_t k = head + 1; k != end - 1; ++k) {
                const CKeptRow& row = kept[k % kKeptRows];
                history += row.history ? 1 : 0;
                for (int i = 0; i < row.count; ++i) {
                    width = std::max(width, row.columns[i]);
                }
            }
            series.CountRows(end - head - 2, history, width);
            CommitKept(series, kept[(end - 1) % kKeptRows]);
        }
        head = end;
    }
    // The slots are the writing thread's again.
    queue.head.store(head, std::memory_order_release);
}

void CFeedStore::FlushPendingValues(CQueue& queue) {
    // A reader on the thread that set them hands them on as the calls would
    // have: logically the store held them all along.
    if (queue.values == 0) {
        return;
    }
    const CKeptRow& row = queue.rows[queue.tail.load(std::memory_order_relaxed) % kKeptRows];
    CFeedObserver* observer = m_observer.load();
    CSeries& series = Find(row.symbol, row.interval);
    for (int i = 0; i < queue.values; ++i) {
        if (observer != nullptr) {
            observer->OnSetValue(row.symbol, row.interval, row.columns[i], row.values[i]);
        }
        series.SetValue(row.columns[i], row.values[i]);
    }
    queue.values = 0;
}

void CFeedStore::FlushKeptRows() const {
    CFeedStore& self = const_cast<CFeedStore&>(*this);
    for (const std::unique_ptr<CQueue>& queue : self.m_queues) {
        self.DrainKeptRows(*queue);
    }
    if (CThreadQueue::own != nullptr) {
        self.FlushPendingValues(*CThreadQueue::own);
    }
}

void CFeedStore::CommitRow(const char* symbol, float interval) {
    // The usual commit: of the row kept in the thread's free slot, for its
    // series, with nobody observing. The row joins the thread's queue
    // without the lock; anything else goes the general way.
    CQueue* const queue =
        m_observer.load(std::memory_order_relaxed) == nullptr ? CThreadQueue::own : nullptr;
    if (queue != nullptr && queue->values > 0) {
        const uint64_t tail = queue->tail.load(std::memory_order_relaxed);
        CKeptRow& row = queue->rows[tail % kKeptRows];
        if (row.intervalBits == IntervalBits(interval) &&
            SameText(row.symbol, symbol != nullptr ? symbol : "")) {
            // Whether the row is history, and when a streamed one arrived,
            // is what holds at its commit, not when it is handed on.
            row.count = queue->values;
            row.history = m_openRequests.load(std::memory_order_relaxed) > 0;
            row.arrival = !row.history && m_keepRows.load(std::memory_order_relaxed)
                              ? Now()
                              : std::numeric_limits<double>::quiet_NaN();
            queue->values = 0;
            queue->tail.store(tail + 1, std::memory_order_release);
            return;
        }
    }
    CommitRowLocked(symbol, interval);
}

void CFeedStore::CommitRowLocked(const char* symbol, float interval) {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    if (CFeedObserver* observer = m_observer.load()) {
        observer->OnCommitRow(symbol, interval);
    }
    CSeries& series = Find(symbol, interval);
    const bool history = m_openRequests.load() > 0;
    series.CommitRow(
        history, !history && series.KeepsRows() ? Now() : std::numeric_limits<double>::quiet_NaN());
}

void CFeedStore::UpdatePercent(int percent) {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    if (CFeedObserver* observer = m_observer.load()) {
        observer->OnUpdatePercent(percent);
    }
    ++m_percentUpdates;
    m_lastPercent = percent;
}

int CFeedStore::RequireCount() const {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    return m_requireCount;
}

int CFeedStore::GetCredentialsCount() const {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    return m_getCount;
}

int CFeedStore::PercentUpdates() const {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    return m_percentUpdates;
}

int CFeedStore::LastPercent() const {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    return m_lastPercent;
}

size_t CFeedStore::SeriesCount() const {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    return m_series.size();
}

void CFeedStore::ForEachSeries(const std::function<void(const CSeries&)>& visit) const {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    for (const auto& [key, series] : m_series) {
        visit(series);
    }
}

bool CFeedStore::WithSeries(const char* symbol, float interval,
                            const std::function<void(const CSeries&)>& visit) const {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushKeptRows();
    auto it = m_series.find(SeriesKey::Of(symbol, interval));
    if (it == m_series.end()) {
        return false;
    }
    visit(it->second);
    return true;
}

CFeedStore& FeedStore() {
    static CFeedStore* store = new CFeedStore;  // never destroyed: plug-ins may call late
    return *store;
}

}  // namespace nsthost
