#include "feedsim/level_one_stream.h"

#include <algorithm>

namespace feedsim {

CLevelOneStream::CLevelOneStream(std::string_view symbol, CivilSeconds now, bool numberedTrades,
                                 bool session)
    : m_symbol(symbol),
      m_seed(HashSymbol(symbol)),
      m_numberedTrades(numberedTrades),
      m_session(session) {
    CSyntheticMarket market(symbol);
    m_lastCents = market.PriceAt(now);
    CDayBar bar;
    int64_t previous = DayOf(now) - 1;
    while (!IsTradingDay(previous)) {
        --previous;
    }
    CDayBar before;
    market.DayBar(previous, previous * kSecondsPerDay + kRegularClose, &before);
    m_previousCloseCents = before.closeCents;
    if (market.DayBar(DayOf(now), now, &bar)) {
        m_openCents = bar.openCents;
        m_highCents = std::max(bar.highCents, m_lastCents);
        m_lowCents = std::min(bar.lowCents, m_lastCents);
        m_volume = bar.volume;
    } else {
        m_openCents = m_highCents = m_lowCents = m_lastCents;
        m_volume = 0;
    }
    Requote(HashValues(m_seed, 0, 11));
}

void CLevelOneStream::Requote(uint64_t h) {
    const int64_t spread = 1 + static_cast<int64_t>(h % 3);
    m_bidCents = std::max<int64_t>(1, m_lastCents - static_cast<int64_t>((h >> 4) % (spread + 1)));
    m_askCents = m_bidCents + spread;
    m_bidSize = 100 * (1 + static_cast<int64_t>((h >> 8) % 50));
    m_askSize = 100 * (1 + static_cast<int64_t>((h >> 16) % 50));
}

void CLevelOneStream::AppendSummary(std::string* out, CivilSeconds now, int64_t stampMicros) const {
    AppendLine(out, 'P', now, 0, stampMicros);
}

void CLevelOneStream::AppendUpdate(std::string* out, CivilSeconds now, int64_t stampMicros) {
    const uint64_t h = HashValues(m_seed, ++m_step, 12);
    char marker = 'b';
    if (m_numberedTrades || h % 10 < 7) {
        m_lastCents = std::max<int64_t>(1, m_lastCents + static_cast<int64_t>((h >> 8) % 5) - 2);
        m_lastSize = (h >> 12) % 10 == 0 ? 1 + static_cast<int64_t>((h >> 16) % 99)
                                         : 100 * (1 + static_cast<int64_t>((h >> 16) % 5));
        if (m_numberedTrades) {
            m_lastSize = static_cast<int64_t>(m_step);
        }
        m_volume += m_lastSize;
        m_highCents = std::max(m_highCents, m_lastCents);
        m_lowCents = std::min(m_lowCents, m_lastCents);
        marker = !m_session || IsRegularSession(now) ? 't' : 'T';
        if (m_lastCents < m_bidCents || m_lastCents > m_askCents) {
            Requote(h >> 24);
        }
    } else {
        Requote(h >> 24);
    }
    AppendLine(out, 'Q', now, marker, stampMicros);
}

void CLevelOneStream::AppendLine(std::string* out, char type, CivilSeconds now, char marker,
                                 int64_t stampMicros) const {
    char buffer[512];
    char* p = buffer;
    auto next = [&p] { *p++ = ','; };
    *p++ = type;
    next();
    p = std::copy(m_symbol.begin(), m_symbol.end(), p);
    next();
    *p++ = '7';
    next();
    p = WriteCents(p, m_lastCents);  // 3
    next();
    p = WriteCents(p, m_lastCents - m_previousCloseCents);  // 4
    next();
    next();
    p = WriteInteger(p, m_volume);  // 6
    next();
    p = WriteInteger(p, m_lastSize);  // 7
    next();
    p = WriteCents(p, m_highCents);  // 8
    next();
    p = WriteCents(p, m_lowCents);  // 9
    next();
    p = WriteCents(p, m_bidCents);  // 10
    next();
    p = WriteCents(p, m_askCents);  // 11
    next();
    p = WriteInteger(p, m_bidSize);  // 12
    next();
    p = WriteInteger(p, m_askSize);  // 13
    next();
    p = WriteInteger(p, static_cast<int64_t>(m_step));  // 14
    next();
    next();
    next();
    p = WriteClock(p, SecondOfDay(now));  // 17
    if (marker != 0) {
        *p++ = marker;
    }
    next();
    next();
    p = WriteCents(p, m_openCents);  // 19
    next();
    p = WriteCents(p, m_previousCloseCents);  // 20
    next();
    p = WriteCents(p, m_askCents - m_bidCents);  // 21
    for (int field = 22; field <= 30; ++field) {
        next();
    }
    p = WriteUsDate(p, DayOf(now));  // 30
    next();
    next();
    p = WriteCents(p, m_lastCents);  // 32
    for (int field = 33; field <= 40; ++field) {
        next();
    }
    p = WriteInteger(p, stampMicros);  // 40
    for (int field = 41; field < kLevelOneFields; ++field) {
        next();
    }
    *p++ = '\r';
    *p++ = '\n';
    out->append(buffer, p);
}

void CLevelOneStream::AppendNotFound(std::string* out, std::string_view symbol) {
    out->append("Q,");
    out->append(symbol);
    out->append(",,Not Found\r\n");
}

}  // namespace feedsim
