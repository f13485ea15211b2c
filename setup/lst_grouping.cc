#include "setup/lst_grouping.h"

#include <bit>
#include <cstring>
#include <iterator>

#include "platform/byte_mask.h"

namespace orvella {

namespace {

constexpr std::string_view kStockOption = "STOCKOPT";
constexpr std::string_view kFutureOption = "FUTREOPT";

char FirstCharacter(std::string_view text) {
    return text.empty() ? '\0' : text.front();
}

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

LstColumns SplitLstLine(std::string_view line) {
    LstColumns columns;
    std::string_view* const slots[] = {&columns.symbol, &columns.description, &columns.exchange,
                                       &columns.market, &columns.type};
    const char* const begin = line.data();
    const char* const end = begin + line.size();
    const char* start = begin;
    for (std::string_view* slot : slots) {
        const void* tab = std::memchr(start, '\t', static_cast<size_t>(end - start));
        if (tab == nullptr)
            break;
        const char* stop = static_cast<const char*>(tab);
        *slot = std::string_view(start, static_cast<size_t>(stop - start));
        start = stop + 1;
    }
    columns.type = MapSecurityType(columns.type);
    return columns;
}

CLstLineScanner::CLstLineScanner(const char* begin, const char* end)
    : m_end(end), m_lineStart(begin), m_window(begin), m_nextWindow(begin) {}

bool CLstLineScanner::Advance() {
    if (m_nextWindow == m_end)
        return false;
    m_window = m_nextWindow;
    if (m_end - m_window >= 64) {
        m_nextWindow = m_window + 64;
        m_mask = platform::ByteMask64(m_window, '\t', '\n', '\0');
        return true;
    }
    m_nextWindow = m_end;
    m_mask = 0;
    for (const char* at = m_window; at < m_end; ++at) {
        if (*at == '\t' || *at == '\n' || *at == '\0')
            m_mask |= uint64_t{1} << (at - m_window);
    }
    return true;
}

const char* CLstLineScanner::Next(LstColumns* columns, bool* holdsNul) {
    *columns = LstColumns();
    std::string_view* const slots[] = {&columns->symbol, &columns->description, &columns->exchange,
                                       &columns->market, &columns->type};
    size_t filled = 0;
    const char* start = m_lineStart;
    bool nul = false;
    for (;;) {
        while (m_mask == 0) {
            if (!Advance())
                return nullptr;
        }
        const char* at = m_window + std::countr_zero(m_mask);
        m_mask &= m_mask - 1;
        if (*at == '\n') {
            // (A carriage return before it cannot be followed by a tab, so
            // it never ends up inside a column.)
            columns->type = MapSecurityType(columns->type);
            *holdsNul = nul;
            m_lineStart = at + 1;
            return at;
        }
        if (*at == '\0') {
            nul = true;
        } else if (filled < std::size(slots)) {
            *slots[filled++] = std::string_view(start, static_cast<size_t>(at - start));
            start = at + 1;
        }
    }
}

std::string_view MapSecurityType(std::string_view type) {
    if (type == "FOPTION")
        return kFutureOption;
    if (type == "IEOPTION")
        return kStockOption;
    if (type == "EQUITY")
        return "STOCK";
    return type;
}

bool IsContinuousFuture(const LstColumns& columns) {
    return columns.type == "FUTURE" && !columns.symbol.empty() && columns.symbol.back() == '#';
}

bool IsMeridexSpot(const LstColumns& columns) {
    if (columns.market != "MERIDEX")
        return false;
    const std::string_view text = columns.description;
    for (size_t i = 0; i + 4 <= text.size(); ++i) {
        if (UpperAscii(text[i]) == 'S' && UpperAscii(text[i + 1]) == 'P' &&
            UpperAscii(text[i + 2]) == 'O' && UpperAscii(text[i + 3]) == 'T') {
            return true;
        }
    }
    return false;
}

bool IsSpotComposite(const LstColumns& columns) {
    return columns.symbol.find(".COMP") != std::string_view::npos;
}

LstDecision CLstGrouper::Next(const LstColumns& columns, std::string* key) {
    LstDecision decision;
    if (!m_firstLine) {
        const char initial = FirstCharacter(columns.symbol);
        const bool exchangeChanged =
            !columns.exchange.empty() && columns.exchange != m_lastExchange;
        const bool typeChanged = !columns.type.empty() && columns.type != m_lastType;
        const bool stockOptionChanged =
            columns.type == kStockOption && initial != m_lastStockOptionInitial;
        const bool futureOptionChanged =
            columns.type == kFutureOption && initial != m_lastFutureOptionInitial;
        if (exchangeChanged || typeChanged || stockOptionChanged || futureOptionChanged) {
            decision.newGroup = true;
            key->assign(columns.exchange);
            key->push_back('_');
            key->append(columns.type);
            if (columns.type == kStockOption || columns.type == kFutureOption) {
                key->push_back('_');
                key->push_back(initial);
            }
            if (exchangeChanged)
                m_lastExchange.assign(columns.exchange);
            if (typeChanged)
                m_lastType.assign(columns.type);
            if (stockOptionChanged)
                m_lastStockOptionInitial = initial;
            if (futureOptionChanged)
                m_lastFutureOptionInitial = initial;
        }
        decision.toCurrent = true;
    }
    decision.toContinuous = m_options.continuous && IsContinuousFuture(columns);
    decision.toSpotComposite = m_options.meridexSpotComposite && IsSpotComposite(columns);
    decision.toMeridexSpot = m_options.meridexSpot && IsMeridexSpot(columns);
    m_firstLine = false;
    return decision;
}

}  // namespace orvella
