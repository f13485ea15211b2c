#include "plugin/levelone/watch_list.h"

#include <algorithm>
#include <cstdint>

#include "platform/text.h"

namespace orvella {

namespace {

// True when every character of symbol is one byte's, so that its host
// symbol is those bytes.
bool SpelledInBytes(std::wstring_view symbol) {
    return std::all_of(symbol.begin(), symbol.end(),
                       [](wchar_t c) { return static_cast<uint32_t>(c) <= 0xFF; });
}

}  // namespace

CWatchList::~CWatchList() {
    for (auto& entry : m_mapSymbols) {
        entry.second->m_aIntervals.clear();
    }
    m_symbolIndex.Clear();
    m_byteIndex.Clear();
    m_mapSymbols.clear();
}

void CWatchList::AddInterval(CSymbolInfo& info, float interval) {
    info.m_aIntervals.push_back(CSymbolInfo::IntervalData{interval, 0, {}});
}

void CWatchList::Add(const std::wstring& symbol, float interval) {
    CSymbolInfo* info = Find(symbol);
    if (info == nullptr) {
        auto created = std::make_unique<CSymbolInfo>();
        AddInterval(*created, interval);
        created->m_strHostSymbol = platform::NarrowText(symbol);
        const auto entry = m_mapSymbols.emplace(symbol, std::move(created)).first;
        m_symbolIndex.Insert(entry->first, 0, entry->second.get());
        if (SpelledInBytes(symbol)) {
            m_byteIndex.Insert(entry->second->m_strHostSymbol, 0, entry->second.get());
        }
        return;
    }
    const bool listed = std::any_of(info->m_aIntervals.begin(), info->m_aIntervals.end(),
                                    [interval](const CSymbolInfo::IntervalData& entry) {
                                        return entry.m_fInterval == interval;
                                    });
    if (!listed) {
        AddInterval(*info, interval);
    }
}

CWatchList::CRemoved CWatchList::Remove(const std::wstring& symbol, float interval) {
    const auto found = m_mapSymbols.find(symbol);
    if (found == m_mapSymbols.end()) {
        return CRemoved::kNotWatched;
    }
    std::vector<CSymbolInfo::IntervalData>& intervals = found->second->m_aIntervals;
    const auto entry = std::find_if(
        intervals.begin(), intervals.end(),
        [interval](const CSymbolInfo::IntervalData& e) { return e.m_fInterval == interval; });
    if (entry != intervals.end()) {
        intervals.erase(entry);
    }
    if (!intervals.empty()) {
        return CRemoved::kStillWatched;
    }
    m_symbolIndex.Erase(found->first);
    if (SpelledInBytes(symbol)) {
        m_byteIndex.Erase(found->second->m_strHostSymbol);
    }
    m_mapSymbols.erase(found);
    return CRemoved::kSymbolGone;
}

CSymbolInfo* CWatchList::Find(std::wstring_view symbol) const {
    return m_symbolIndex.Find(symbol);
}

std::vector<std::pair<std::wstring, float>> CWatchList::Series() const {
    std::vector<std::pair<std::wstring, float>> series;
    for (const auto& entry : m_mapSymbols) {
        for (const CSymbolInfo::IntervalData& interval : entry.second->m_aIntervals) {
            series.emplace_back(entry.first, interval.m_fInterval);
        }
    }
    return series;
}

}  // namespace orvella
