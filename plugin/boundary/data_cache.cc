#include "plugin/boundary/data_cache.h"

#include <stdexcept>

namespace orvella {

namespace {

// A held line's share of memory: its text, its string object and the
// allocator's header.
std::size_t LineBytes(const std::wstring& line) {
    constexpr std::size_t kAllocatorHeader = 16;
    return (line.capacity() + 1) * sizeof(wchar_t) + sizeof(std::wstring) + kAllocatorHeader;
}

}  // namespace

CDataCache::~CDataCache() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_lines.clear();
    m_nBytes = 0;
}

void CDataCache::Append(const std::wstring& line) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_lines.push_back(line);
    m_nBytes += LineBytes(m_lines.back());
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
    m_nBytes -= LineBytes(m_lines.front());
    std::wstring line = std::move(m_lines.front());
    m_lines.pop_front();
    return line;
}

std::size_t CDataCache::HeldBytes() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_nBytes;
}

bool CDataCache::Full() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_nBytes >= m_nBound;
}

CDataCache& DataCache() {
    static CDataCache cache;
    return cache;
}

}  // namespace orvella
