// The process-wide deferred-line queue: level-one summary and update lines
// held back while a history load runs, first in, first out.
#pragma once

#include <deque>
#include <mutex>
#include <string>

namespace orvella {

class CDataCache {
  public:
    ~CDataCache();

    void Append(const std::wstring& line);
    int Count();
    // Removes and returns the oldest line. Callers test Count first; taking
    // from an empty store throws std::logic_error.
    std::wstring TakeFirst();

  private:
    std::mutex m_lock;
    std::deque<std::wstring> m_lines;
};

CDataCache& DataCache();

}  // namespace orvella
