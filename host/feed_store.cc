#include "host/feed_store.h"

#include <algorithm>
#include <cstring>
#include <limits>

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

void CFeedStore::SetCredentials(const std::string& user, const std::string& password) {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
    m_user = user;
    m_password = password;
}

void CFeedStore::SetKeepRows(bool keepRows) {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
    m_keepRows = keepRows;
}

void CFeedStore::SetObserver(CFeedObserver* observer) {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
    m_observer.store(observer);
}

void CFeedStore::SetClock(SteadyClock clock) {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
    m_clock = clock;
}

double CFeedStore::Arrival(const CSeries& series) const {
    if (m_openRequests > 0 || !series.KeepsRows()) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return m_clock != nullptr ? m_clock() : CounterSeconds();
}

void CFeedStore::BeginRequest() {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
    ++m_openRequests;
}

void CFeedStore::EndRequest() {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
    if (m_openRequests > 0) {
        --m_openRequests;
    }
}

void CFeedStore::Clear() {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
    m_generation.fetch_add(1);
    m_index.Clear();
    m_series.clear();
    m_last = nullptr;
    m_openRequests = 0;
    m_requireCount = 0;
    m_getCount = 0;
    m_percentUpdates = 0;
    m_lastPercent = -1;
}

CSeries& CFeedStore::Find(const char* symbol, float interval) {
    uint32_t bits = 0;
    std::memcpy(&bits, &interval, sizeof bits);
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
    const auto it = m_series.emplace(key, CSeries(key, m_keepRows)).first;
    m_index.Insert(it->first.symbol, bits, &it->second);
    m_last = &it->second;
    return *m_last;
}

void CFeedStore::RequireUserIDPassword() {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
    ++m_requireCount;
    if (CFeedObserver* observer = m_observer.load()) {
        observer->OnRequireUserIDPassword();
    }
}

void CFeedStore::GetUserIDPassword(char** user, char** password) {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
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
    FlushThreadRow();
    if (CFeedObserver* observer = m_observer.load()) {
        observer->OnSetupData(symbol, description, interval, columns, category, start);
    }
    Find(symbol, interval).Announce(description, columns, category, start);
}

void CFeedStore::SetLabel(const char* symbol, float interval, int column, const char* label) {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
    if (CFeedObserver* observer = m_observer.load()) {
        observer->OnSetLabel(symbol, interval, column, label);
    }
    Find(symbol, interval).SetLabel(column, label);
}

void CFeedStore::SetValue(const char* symbol, float interval, int column, double value) {
    // The streamed rows' calls: while nobody observes the calls one by one,
    // the thread that owns the pending row keeps its values without the
    // lock, so that a row takes the lock once, at its commit.
    const std::thread::id me = std::this_thread::get_id();
    const char* const name = symbol != nullptr ? symbol : "";
    uint32_t bits = 0;
    std::memcpy(&bits, &interval, sizeof bits);
    if (m_observer.load(std::memory_order_acquire) == nullptr && column >= 1 &&
        column <= kMaxColumn) {
        CPendingRow& row = m_row;
        if (m_rowOwner.load(std::memory_order_relaxed) == me) {
            if (row.intervalBits == bits &&
                SameText(std::string_view(row.symbol, row.symbolLength), name) &&
                row.count < CPendingRow::kMaxValues) {
                row.columns[row.count] = column;
                row.values[row.count] = value;
                ++row.count;
                return;
            }
        } else if (const size_t length = std::strlen(name); length <= CPendingRow::kMaxSymbol) {
            std::thread::id nobody;
            if (m_rowOwner.compare_exchange_strong(nobody, me, std::memory_order_acquire)) {
                row.generation = m_generation.load(std::memory_order_acquire);
                row.intervalBits = bits;
                row.interval = interval;
                row.symbolLength = static_cast<uint32_t>(length);
                std::memcpy(row.symbol, name, length + 1);
                row.columns[0] = column;
                row.values[0] = value;
                row.count = 1;
                return;
            }
        }
    }
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
    if (CFeedObserver* observer = m_observer.load()) {
        observer->OnSetValue(symbol, interval, column, value);
    }
    Find(symbol, interval).SetValue(column, value);
}

void CFeedStore::FlushThreadRow() const {
    if (m_rowOwner.load(std::memory_order_relaxed) != std::this_thread::get_id()) {
        return;
    }
    // A reader that finds its own thread's values pending hands them on as
    // the calls would have: logically the store held them all along.
    CFeedStore& self = const_cast<CFeedStore&>(*this);
    const CPendingRow& row = m_row;
    // A store cleared since has forgotten the series the values were for.
    if (row.generation == m_generation.load()) {
        CFeedObserver* observer = m_observer.load();
        CSeries& series = self.Find(row.symbol, row.interval);
        for (int i = 0; i < row.count; ++i) {
            if (observer != nullptr) {
                observer->OnSetValue(row.symbol, row.interval, row.columns[i], row.values[i]);
            }
            series.SetValue(row.columns[i], row.values[i]);
        }
    }
    self.m_rowOwner.store(std::thread::id(), std::memory_order_release);
}

bool CFeedStore::CommitThreadRow(const char* symbol, float interval) {
    // The usual commit: of the row the calling thread kept, for its series,
    // with nobody observing. The series is looked up once for the values and
    // the commit; anything else goes the general way.
    const CPendingRow& row = m_row;
    uint32_t bits = 0;
    std::memcpy(&bits, &interval, sizeof bits);
    if (m_rowOwner.load(std::memory_order_relaxed) != std::this_thread::get_id() ||
        m_observer.load(std::memory_order_relaxed) != nullptr || row.intervalBits != bits ||
        row.generation != m_generation.load(std::memory_order_relaxed) ||
        !SameText(std::string_view(row.symbol, row.symbolLength),
                  symbol != nullptr ? symbol : "")) {
        return false;
    }
    CSeries& series = Find(row.symbol, row.interval);
    for (int i = 0; i < row.count; ++i) {
        series.SetValue(row.columns[i], row.values[i]);
    }
    m_rowOwner.store(std::thread::id(), std::memory_order_release);
    series.CommitRow(m_openRequests > 0, Arrival(series));
    return true;
}

void CFeedStore::CommitRow(const char* symbol, float interval) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (CommitThreadRow(symbol, interval)) {
        return;
    }
    FlushThreadRow();
    if (CFeedObserver* observer = m_observer.load()) {
        observer->OnCommitRow(symbol, interval);
    }
    CSeries& series = Find(symbol, interval);
    series.CommitRow(m_openRequests > 0, Arrival(series));
}

void CFeedStore::UpdatePercent(int percent) {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
    if (CFeedObserver* observer = m_observer.load()) {
        observer->OnUpdatePercent(percent);
    }
    ++m_percentUpdates;
    m_lastPercent = percent;
}

int CFeedStore::RequireCount() const {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
    return m_requireCount;
}

int CFeedStore::GetCredentialsCount() const {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
    return m_getCount;
}

int CFeedStore::PercentUpdates() const {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
    return m_percentUpdates;
}

int CFeedStore::LastPercent() const {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
    return m_lastPercent;
}

size_t CFeedStore::SeriesCount() const {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
    return m_series.size();
}

void CFeedStore::ForEachSeries(const std::function<void(const CSeries&)>& visit) const {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
    for (const auto& [key, series] : m_series) {
        visit(series);
    }
}

bool CFeedStore::WithSeries(const char* symbol, float interval,
                            const std::function<void(const CSeries&)>& visit) const {
    std::lock_guard<std::mutex> hold(m_lock);
    FlushThreadRow();
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
