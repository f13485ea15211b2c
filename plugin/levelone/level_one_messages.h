// The summary and update lines of the level-one connection: each is read,
// checked and turned into rows for the watched series of its symbol, handed
// to the host's feed library. Host thread only.
#pragma once

#include <cstdint>
#include <string_view>

#include "plugin/boundary/host_date.h"
#include "plugin/levelone/level_one_fields.h"
#include "plugin/levelone/watch_list.h"

namespace orvella {

class CLevelOneMessages {
  public:
    explicit CLevelOneMessages(const CWatchList& watchList) : m_watchList(watchList) {}

    CLevelOneMessages(const CLevelOneMessages&) = delete;
    CLevelOneMessages& operator=(const CLevelOneMessages&) = delete;

    // An update line: a trade that passes the extended-trade rule and the
    // trade-time filter becomes rows in every watched series of its symbol.
    void HandleUpdateMessage(std::wstring_view line);
    // The same for the line as received bytes, read without widening: the
    // rows are those of its widened text.
    void HandleUpdateBytes(std::string_view line);

    // A summary line: four day-summary rows for the symbol's first daily or
    // longer entry that has not had them.
    void HandleSummaryMessage(std::wstring_view line);

    // A line that cannot be read, or one longer than kMaxFeedLineChars: it
    // sends no rows and only the first is logged.
    void NoteMalformedLine(std::wstring_view line);
    void NoteMalformedLine(std::string_view line);
    void NoteOverLongLine();

    // Lines dropped because they cannot be read: longer than
    // kMaxFeedLineChars, holding a zero byte, time and date fields that do
    // not name a valid moment, or a value that reaches the host and is no
    // finite number.
    int64_t MalformedLineCount() const { return m_nMalformedLines; }

  private:
    // The values of an update line that reach the host.
    struct CUpdateValues {
        double price = 0.0, volume = 0.0;
        double type2Price = 0.0, type4Price = 0.0, type2Size = 0.0, type4Size = 0.0;
    };

    template <typename TChar>
    void HandleUpdate(std::basic_string_view<TChar> line);
    bool PassesTradeFilter(const CLineDateTime& parts, const HostDate& when);
    // The line's moment; invalid when its fields cannot be read.
    template <typename TFields>
    static HostDate LineDate(const TFields& fields, CLineDateTime* parts);
    // False when a value the symbol's series need is no finite number.
    template <typename TFields>
    static bool ReadUpdateValues(const CSymbolInfo& info, const TFields& fields,
                                 CUpdateValues* values);
    static void SendUpdateRows(CSymbolInfo& info, const HostDate& when,
                               const CUpdateValues& values);
    // False (nothing sent) when a summary value is needed and no finite number.
    static bool SendSummaryRows(CSymbolInfo& info, const CReadFields& fields, const HostDate& when);

    const CWatchList& m_watchList;
    HostDate m_dtFilterBegin;
    HostDate m_dtFilterEnd;
    int64_t m_nMalformedLines = 0;
};

}  // namespace orvella
