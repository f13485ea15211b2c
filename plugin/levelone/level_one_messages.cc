#include "plugin/levelone/level_one_messages.h"

#include <algorithm>
#include <string>

#include "platform/text.h"
#include "plugin/boundary/feed_text.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/host_feed.h"
#include "plugin/boundary/row_gate.h"
#include "plugin/diagnostics/log.h"

namespace orvella {

namespace {

// Field positions of summary (P) and update (Q) lines.
constexpr std::size_t kFieldSymbol = 1;
constexpr std::size_t kFieldNotFound = 3;
constexpr std::size_t kFieldSummaryLastPrice = 3;
constexpr std::size_t kFieldDayVolume = 6;
constexpr std::size_t kFieldTradeVolume = 7;
constexpr std::size_t kFieldSummarySecondPrice = 8;
constexpr std::size_t kFieldSummaryThirdPrice = 9;
constexpr std::size_t kFieldType2Price = 10;
constexpr std::size_t kFieldType4Price = 11;
constexpr std::size_t kFieldType2Size = 12;
constexpr std::size_t kFieldType4Size = 13;
constexpr std::size_t kFieldTime = 17;
constexpr std::size_t kFieldSummaryFirstPrice = 19;
constexpr std::size_t kFieldDate = 30;
constexpr std::size_t kFieldTradePrice = 32;

constexpr double kTickTypeTrade = 0.0;
constexpr double kTickTypeBid = 2.0;
constexpr double kTickTypeAsk = 4.0;

bool IsDayOrLonger(float interval) {
    return interval == 1440.0f || interval == 10080.0f || interval == 43200.0f ||
           interval == 302400.0f;
}

// The carriage return that ends a line is no part of its last field, so
// "Q,SYM,,Not Found" compares equal whether the feed ends it with CR LF or LF.
template <typename TChar>
std::basic_string_view<TChar> WithoutLineEnd(std::basic_string_view<TChar> line) {
    if (!line.empty() && line.back() == TChar('\r')) {
        line.remove_suffix(1);
    }
    return line;
}

// A field of either kind compared with a text of the feed's.
bool SaysText(std::wstring_view field, std::wstring_view text) {
    return field == text;
}
bool SaysText(std::string_view field, std::wstring_view text) {
    return field.size() == text.size() &&
           std::equal(field.begin(), field.end(), text.begin(),
                      [](char a, wchar_t b) { return static_cast<unsigned char>(a) == b; });
}

std::wstring WideText(std::wstring_view text) {
    return std::wstring(text);
}
std::wstring WideText(std::string_view text) {
    return platform::WidenText(text);
}

CReadFields ReadFieldsOf(std::wstring_view line) {
    return SplitReadFields(line);
}
CByteReadFields ReadFieldsOf(std::string_view line) {
    return CByteReadFields(line);
}

bool ReadNumber(std::wstring_view field, double* value) {
    return ReadFiniteNumber(field, value);
}
bool ReadNumber(std::string_view field, double* value) {
    return ReadFieldNumber(field, value);
}

// One row: the columns in ascending order, then the commit.
void SendRow(const char* symbol, float series, CHostFeed::CSeriesNote* note, const HostDate& when,
             double price, double size) {
    CHostFeed& feed = HostFeed();
    feed.NSTSETVALUE(symbol, series, 1, when.value);
    feed.NSTSETVALUE(symbol, series, 2, price);
    feed.NSTSETVALUE(symbol, series, 3, size);
    feed.CommitRow(symbol, series, note);
}

void SendTickRow(const char* symbol, float series, CHostFeed::CSeriesNote* note,
                 const HostDate& when, double price, double size, double type) {
    CHostFeed& feed = HostFeed();
    feed.NSTSETVALUE(symbol, series, 1, when.value);
    feed.NSTSETVALUE(symbol, series, 2, price);
    feed.NSTSETVALUE(symbol, series, 3, size);
    feed.NSTSETVALUE(symbol, series, 4, type);
    feed.CommitRow(symbol, series, note);
}

}  // namespace

void CLevelOneMessages::HandleUpdateMessage(std::wstring_view line) {
    HandleUpdate(line);
}

void CLevelOneMessages::HandleUpdateBytes(std::string_view line) {
    HandleUpdate(line);
}

template <typename TChar>
void CLevelOneMessages::HandleUpdate(std::basic_string_view<TChar> line) {
    const auto fields = ReadFieldsOf(WithoutLineEnd(line));
    if (SaysText(fields[kFieldNotFound], L"Not Found")) {
        LogFormat(L"Symbol %ls was %ls", WideText(fields[kFieldSymbol]).c_str(),
                  WideText(fields[kFieldNotFound]).c_str());
        return;
    }
    const wchar_t marker = FindTradeMarker(fields[kFieldTime]);
    if (marker == 0) {
        return;
    }
    // T marks an extended trade, delivered only when the user asked for them.
    if (marker == L'T' && Globals().extendedTradesEnabled == 0) {
        return;
    }
    CLineDateTime parts;
    const HostDate when = LineDate(fields, &parts);
    if (when.status != kDateValid) {
        NoteMalformedLine(line);
        return;
    }
    if (!PassesTradeFilter(parts, when)) {
        return;
    }
    CSymbolInfo* info = m_watchList.Find(fields[kFieldSymbol]);
    if (info == nullptr) {
        return;
    }
    CUpdateValues values;
    if (!ReadUpdateValues(*info, fields, &values)) {
        NoteMalformedLine(line);
        return;
    }
    // Only tells the trade from others of its second: a line without it is
    // still charted.
    double dayVolume = 0.0;
    if (!ReadNumber(fields[kFieldDayVolume], &dayVolume)) {
        dayVolume = 0.0;
    }
    const CTradeVolumeNote note(dayVolume);
    SendUpdateRows(*info, when, values);
}

void CLevelOneMessages::HandleSummaryMessage(std::wstring_view line) {
    const CReadFields fields = SplitReadFields(WithoutLineEnd(line));
    CLineDateTime parts;
    const HostDate when = LineDate(fields, &parts);
    if (when.status != kDateValid) {
        NoteMalformedLine(line);
        return;
    }
    CSymbolInfo* info = m_watchList.Find(fields[kFieldSymbol]);
    if (info == nullptr) {
        return;
    }
    if (!SendSummaryRows(*info, fields, when)) {
        NoteMalformedLine(line);
    }
}

bool CLevelOneMessages::PassesTradeFilter(const CLineDateTime& parts, const HostDate& when) {
    const CGlobalState& globals = Globals();
    if (globals.tradeFilterOn != 1) {
        return true;
    }
    // The window lies on the trade's own date.
    m_dtFilterBegin = DateFromParts(parts.year, parts.month, parts.day, globals.filterBeginHour,
                                    globals.filterBeginMinute, globals.filterBeginSecond);
    m_dtFilterEnd = DateFromParts(parts.year, parts.month, parts.day, globals.filterEndHour,
                                  globals.filterEndMinute, globals.filterEndSecond);
    if (DateIsAfter(m_dtFilterBegin, when)) {
        return false;
    }
    return !DateIsAfter(when, m_dtFilterEnd);
}

template <typename TFields>
bool CLevelOneMessages::ReadUpdateValues(const CSymbolInfo& info, const TFields& fields,
                                         CUpdateValues* values) {
    if (!ReadNumber(fields[kFieldTradeVolume], &values->volume) ||
        !ReadNumber(fields[kFieldTradePrice], &values->price)) {
        return false;
    }
    // The quotes only reach the host in tick series; other lines need not
    // carry them.
    const bool ticks = std::any_of(
        info.m_aIntervals.begin(), info.m_aIntervals.end(),
        [](const CSymbolInfo::IntervalData& entry) { return entry.m_fInterval == 0.0f; });
    return !ticks || (ReadNumber(fields[kFieldType2Price], &values->type2Price) &&
                      ReadNumber(fields[kFieldType4Price], &values->type4Price) &&
                      ReadNumber(fields[kFieldType2Size], &values->type2Size) &&
                      ReadNumber(fields[kFieldType4Size], &values->type4Size));
}

void CLevelOneMessages::SendUpdateRows(CSymbolInfo& info, const HostDate& when,
                                       const CUpdateValues& v) {
    const char* symbol = info.m_strHostSymbol.c_str();

    for (CSymbolInfo::IntervalData& entry : info.m_aIntervals) {
        const float series = -entry.m_fInterval;
        if (series != 0.0f) {
            SendRow(symbol, series, &entry.m_note, when, v.price, v.volume);
            continue;
        }
        // Quote pairs are sent only when they changed since the last row.
        if (v.type4Price != info.m_dType4Price || v.type4Size != info.m_dType4Size) {
            SendTickRow(symbol, series, &entry.m_note, when, v.type4Price, v.type4Size,
                        kTickTypeAsk);
            info.m_dType4Price = v.type4Price;
            info.m_dType4Size = v.type4Size;
        }
        if (v.type2Price != info.m_dType2Price || v.type2Size != info.m_dType2Size) {
            SendTickRow(symbol, series, &entry.m_note, when, v.type2Price, v.type2Size,
                        kTickTypeBid);
            info.m_dType2Price = v.type2Price;
            info.m_dType2Size = v.type2Size;
        }
        SendTickRow(symbol, series, &entry.m_note, when, v.price, v.volume, kTickTypeTrade);
    }
}

bool CLevelOneMessages::SendSummaryRows(CSymbolInfo& info, const CReadFields& fields,
                                        const HostDate& when) {
    // The history just loaded already holds today's bar.
    if (info.m_bTodayInHistory != 0) {
        return true;
    }
    for (CSymbolInfo::IntervalData& entry : info.m_aIntervals) {
        if (!IsDayOrLonger(entry.m_fInterval) || entry.m_bSummaryDone != 0) {
            continue;
        }
        double lastPrice, volume, secondPrice, thirdPrice, firstPrice;
        if (!ReadFiniteNumber(fields[kFieldSummaryLastPrice], &lastPrice) ||
            !ReadFiniteNumber(fields[kFieldDayVolume], &volume) ||
            !ReadFiniteNumber(fields[kFieldSummarySecondPrice], &secondPrice) ||
            !ReadFiniteNumber(fields[kFieldSummaryThirdPrice], &thirdPrice) ||
            !ReadFiniteNumber(fields[kFieldSummaryFirstPrice], &firstPrice)) {
            return false;
        }
        entry.m_bSummaryDone = 1;
        const char* symbol = info.m_strHostSymbol.c_str();
        const float series = -entry.m_fInterval;
        SendRow(symbol, series, &entry.m_note, when, firstPrice, 0.0);
        SendRow(symbol, series, &entry.m_note, when, secondPrice, 0.0);
        SendRow(symbol, series, &entry.m_note, when, thirdPrice, 0.0);
        SendRow(symbol, series, &entry.m_note, when, lastPrice, volume);
        return true;
    }
    return true;
}

template <typename TFields>
HostDate CLevelOneMessages::LineDate(const TFields& fields, CLineDateTime* parts) {
    if (!ReadLineDateTime(fields[kFieldTime], fields[kFieldDate], parts)) {
        return HostDate{0.0, kDateInvalid};
    }
    return DateFromParts(parts->year, parts->month, parts->day, parts->hour, parts->minute,
                         parts->second);
}

void CLevelOneMessages::NoteMalformedLine(std::wstring_view line) {
    // Such a line would carry an undefined or made-up value, so it sends no
    // rows; only the first is logged.
    if (m_nMalformedLines++ == 0) {
        LogFormat(L"Level1 line that could not be read dropped: %ls", std::wstring(line).c_str());
    }
}

void CLevelOneMessages::NoteMalformedLine(std::string_view line) {
    if (m_nMalformedLines == 0) {
        NoteMalformedLine(platform::WidenText(line));
        return;
    }
    ++m_nMalformedLines;
}

void CLevelOneMessages::NoteOverLongLine() {
    if (m_nMalformedLines++ == 0) {
        LogFormat(L"Level1 line longer than %d characters dropped",
                  static_cast<int>(kMaxFeedLineChars));
    }
}

}  // namespace orvella
