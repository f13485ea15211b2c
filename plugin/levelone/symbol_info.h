// One watched symbol of the level-one watch list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/boundary/host_feed.h"

namespace orvella {

class CSymbolInfo {
  public:
    struct IntervalData {
        float m_fInterval = 0.0f;
        int32_t m_bSummaryDone = 0;
        // The host library's note of the series' rows.
        CHostFeed::CSeriesNote m_note;
    };

    std::vector<IntervalData> m_aIntervals;
    // The symbol as the host's 8-bit text, made once when the entry is.
    std::string m_strHostSymbol;
    int32_t m_bTodayInHistory = 0;
    double m_dType4Price = -1.0;
    double m_dType4Size = -1.0;
    double m_dType2Price = -1.0;
    double m_dType2Size = -1.0;
};

// The watch list's entry for symbol (exact, case-sensitive), or null. Host
// thread only.
CSymbolInfo* FindWatchedSymbol(const std::wstring& symbol);

}  // namespace orvella
