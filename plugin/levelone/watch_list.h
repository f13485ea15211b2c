// The level-one watch list: every watched symbol with its series, kept in
// order for the reconnect's watches and by hash for the lookup of every
// summary and update line. Host thread only.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/key_index.h"
#include "plugin/levelone/symbol_info.h"

namespace orvella {

class CWatchList {
  public:
    CWatchList() = default;
    ~CWatchList();

    CWatchList(const CWatchList&) = delete;
    CWatchList& operator=(const CWatchList&) = delete;

    // Appends an entry for interval (summary not yet delivered).
    static void AddInterval(CSymbolInfo& info, float interval);

    // Adds the interval to the symbol's entry unless it is listed there,
    // creating the entry.
    void Add(const std::wstring& symbol, float interval);

    enum class CRemoved { kNotWatched, kStillWatched, kSymbolGone };
    // Removes the first entry equal to interval; the symbol leaves the list
    // when it has none left.
    CRemoved Remove(const std::wstring& symbol, float interval);

    // The entry of symbol (exact, case-sensitive), or null.
    CSymbolInfo* Find(std::wstring_view symbol) const;
    // The same for a symbol as received bytes (each byte the character of
    // its code).
    CSymbolInfo* Find(std::string_view symbol) const { return m_byteIndex.Find(symbol); }

    // Every watched series as symbol and interval, in list order.
    std::vector<std::pair<std::wstring, float>> Series() const;

    // Every watched symbol, in list order.
    template <typename TVisit>
    void ForEachSymbol(TVisit visit) const {
        for (const auto& entry : m_mapSymbols) {
            visit(entry.first);
        }
    }

  private:
    std::map<std::wstring, std::unique_ptr<CSymbolInfo>, std::less<>> m_mapSymbols;
    // The same entries by hash, for every line: the ordered list costs a
    // string compare per level, and a lookup here touches one slot, however
    // long the list. Long keys refer to the list's own, which stay in place
    // while their entry lives.
    platform::CKeyIndex<wchar_t, CSymbolInfo> m_symbolIndex;
    // The entries whose symbols a byte can spell, by those bytes (the
    // entry's host symbol), for the lines read as received bytes: a quarter
    // of the wide key's memory, and no widening of the line.
    platform::CKeyIndex<char, CSymbolInfo> m_byteIndex;
};

}  // namespace orvella
