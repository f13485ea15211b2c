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

const char* SplitLstLineAt(const char* begin, const char* end, LstColumns* columns,
                           bool* holdsNul) {
    *columns = LstColumns();
    std::string_view* const slots[] = {&columns->symbol, &columns->description, &columns->exchange,
                                       &columns->market, &columns->type};
    size_t filled = 0;
    const char* start = begin;
    bool nul = false;
    // One byte of the line's tabs, line feed and NUL bytes; false at the
    // line feed. (A carriage return before it cannot be followed by a tab,
    // so it never ends up inside a column.)
    const auto take = [&](const char* at) {
        if (*at == '\n')
            return false;
        if (*at == '\0') {
            nul = true;
        } else if (filled < std::size(slots)) {
            *slots[filled++] = std::string_view(start, static_cast<size_t>(at - start));
            start = at + 1;
        }
        return true;
    };
    const auto finish = [&](const char* feed) {
        columns->type = MapSecurityType(columns->type);
        *holdsNul = nul;
        return feed;
    };
    const char* position = begin;
    for (; end - position >= static_cast<ptrdiff_t>(platform::kByteBlock);
         position += platform::kByteBlock) {
        for (uint32_t mask = platform::ByteMask(position, '\t', '\n', '\0'); mask != 0;
             mask &= mask - 1) {
            const char* at = position + std::countr_zero(mask);
            if (!take(at))
                return finish(at);
        }
    }
    for (; position < end; ++position) {
        if ((*position == '\t' || *position == '\n' || *position == '\0') && !take(position))
            return finish(position);
    }
    return nullptr;
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
