#include "plugin/boundary/data_cache.h"

#include <stdexcept>

namespace orvella {

CDataCache::~CDataCache() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_lines.clear();
}

void CDataCache::Append(const std::wstring& line) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_lines.push_back(line);
}

int CDataCache::Count() {
    std::lock_guard<std::mutex> hold(m_lock);
    return static_cast<int>(m_lines.size());
}

std::wstring CDataCache::TakeFirst() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_lines.empty()) {
        throw std::logic_error("CDataCache::TakeFirst on an empty store");
    }
    std::wstring line = std::move(m_lines.front());
    m_lines.pop_front();
    return line;
}

CDataCache& DataCache() {
    static CDataCache cache;
    return cache;
}

}  // namespace orvella
