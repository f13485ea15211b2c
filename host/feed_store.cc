#include "host/feed_store.h"

#include <algorithm>
#include <cstring>

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

}  // namespace

CFeedObserver::~CFeedObserver() = default;

void CFeedStore::SetCredentials(const std::string& user, const std::string& password) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_user = user;
    m_password = password;
}

void CFeedStore::SetKeepRows(bool keepRows) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_keepRows = keepRows;
}

void CFeedStore::SetObserver(CFeedObserver* observer) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_observer = observer;
}

void CFeedStore::BeginRequest() {
    std::lock_guard<std::mutex> hold(m_lock);
    ++m_openRequests;
}

void CFeedStore::EndRequest() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_openRequests > 0) {
        --m_openRequests;
    }
}

void CFeedStore::Clear() {
    std::lock_guard<std::mutex> hold(m_lock);
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
    const std::string_view name(symbol != nullptr ? symbol : "");
    if (m_last != nullptr && m_last->Key().intervalBits == bits && m_last->Key().symbol == name) {
        return *m_last;
    }
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
    ++m_requireCount;
    if (m_observer != nullptr) {
        m_observer->OnRequireUserIDPassword();
    }
}

void CFeedStore::GetUserIDPassword(char** user, char** password) {
    std::lock_guard<std::mutex> hold(m_lock);
    ++m_getCount;
    if (m_observer != nullptr) {
        m_observer->OnGetUserIDPassword();
    }
    CopyCredential(m_user, user);
    CopyCredential(m_password, password);
}

void CFeedStore::SetupData(const char* symbol, const char* description, float interval, int columns,
                           const char* category, double start) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_observer != nullptr) {
        m_observer->OnSetupData(symbol, description, interval, columns, category, start);
    }
    Find(symbol, interval).Announce(description, columns, category, start);
}

void CFeedStore::SetLabel(const char* symbol, float interval, int column, const char* label) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_observer != nullptr) {
        m_observer->OnSetLabel(symbol, interval, column, label);
    }
    Find(symbol, interval).SetLabel(column, label);
}

void CFeedStore::SetValue(const char* symbol, float interval, int column, double value) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_observer != nullptr) {
        m_observer->OnSetValue(symbol, interval, column, value);
    }
    Find(symbol, interval).SetValue(column, value);
}

void CFeedStore::CommitRow(const char* symbol, float interval) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_observer != nullptr) {
        m_observer->OnCommitRow(symbol, interval);
    }
    Find(symbol, interval).CommitRow(m_openRequests > 0);
}

void CFeedStore::UpdatePercent(int percent) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_observer != nullptr) {
        m_observer->OnUpdatePercent(percent);
    }
    ++m_percentUpdates;
    m_lastPercent = percent;
}

int CFeedStore::RequireCount() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_requireCount;
}

int CFeedStore::GetCredentialsCount() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_getCount;
}

int CFeedStore::PercentUpdates() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_percentUpdates;
}

int CFeedStore::LastPercent() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_lastPercent;
}

size_t CFeedStore::SeriesCount() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_series.size();
}

void CFeedStore::ForEachSeries(const std::function<void(const CSeries&)>& visit) const {
    std::lock_guard<std::mutex> hold(m_lock);
    for (const auto& [key, series] : m_series) {
        visit(series);
    }
}

bool CFeedStore::WithSeries(const char* symbol, float interval,
                            const std::function<void(const CSeries&)>& visit) const {
    std::lock_guard<std::mutex> hold(m_lock);
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
