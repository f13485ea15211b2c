// The process-wide deferred-line queue: level-one summary and update lines
// held back while a history load runs, first in, first out. It counts the
// bytes it holds, so that the level-one reader can stop taking lines from
// its socket once the bound is reached instead of growing without limit.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

namespace orvella {

// What the queue may hold before the level-one reader stops reading: about
// 64 MB of held text, counted with each line's bookkeeping.
inline constexpr std::size_t kHeldBytesBound = 64u * 1024u * 1024u;

class CDataCache {
  public:
    ~CDataCache();

    void Append(const std::wstring& line);
    int Count();
    // Removes and returns the oldest line. Callers test Count first; taking
    // from an empty store throws std::logic_error.
    std::wstring TakeFirst();

    // Bytes held now (text and per-line bookkeeping).
    std::size_t HeldBytes();
    // True once HeldBytes has reached the bound.
    bool Full();

  private:
    friend class CDataCacheTestHelper;

    std::mutex m_lock;
    std::deque<std::wstring> m_lines;
    std::size_t m_nBytes = 0;
    std::size_t m_nBound = kHeldBytesBound;
};

CDataCache& DataCache();

}  // namespace orvella
