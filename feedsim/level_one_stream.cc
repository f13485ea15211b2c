#include "feedsim/level_one_stream.h"

#include <algorithm>

namespace feedsim {

namespace {

// How far back the last trade and the previous close are looked for, and
// how far ahead the next trade (a long weekend of a session market).
constexpr int64_t kSearchMinutes = 8 * kMinutesPerDay;

}  // namespace

CLevelOneStream::CLevelOneStream(std::string_view symbol, CMarketShape shape, int64_t nowMicros,
                                 bool synthetic, bool numberedTrades)
    : m_symbol(symbol),
      m_seed(HashSymbol(symbol)),
      m_market(symbol, shape),
      m_synthetic(synthetic),
      m_numberedTrades(numberedTrades) {
    const CivilSeconds now = FloorDiv(nowMicros, kMicrosPerSecond);
    const int64_t minuteNow = MinuteOf(now);
    m_day = DayOf(now);
    // The close of the last regular trading before today.
    for (int64_t m = m_day * kMinutesPerDay - 1; m >= m_day * kMinutesPerDay - kSearchMinutes;
         --m) {
        const CMinuteBar bar = m_market.Minute(m);
        if (bar.trades > 0 && bar.regular) {
            m_previousCloseCents = bar.closeCents;
            break;
        }
    }
    // The last trade up to now, for the last price and the quote. In one
    // market the walk through the current minute also finds the next trade.
    m_lastCents = m_market.PriceAt(now);
    const CMinuteBar current = m_market.Minute(minuteNow);
    if (!m_synthetic) {
        m_market.DayBefore(minuteNow, &m_volumeBefore, &m_idBefore);
    }
    CTick last = m_market.BeforeMinute(current, m_volumeBefore, m_idBefore);
    CTick coming;
    const int taken = WalkMinute(current, nowMicros, &last, &coming);
    bool found = taken > 0;
    if (!m_synthetic) {
        m_minute = current;
        m_index = taken;
        m_coming = coming;
        m_volume = last.dayVolume;
        m_step = last.id;
    }
    for (int64_t m = minuteNow - 1; !found && m >= minuteNow - kSearchMinutes; --m) {
        const CMinuteBar bar = m_market.Minute(m);
        if (bar.trades > 0) {
            last = m_market.BeforeMinute(bar, 0, 0);
            WalkMinute(bar, INT64_MAX, &last, &coming);
            found = true;
        }
    }
    if (found) {
        NoteLastTrade(last);
    }
    if (m_previousCloseCents == 0) {
        m_previousCloseCents = m_lastCents;
    }
    CDayBar bar;
    m_dayOpened = m_market.DayBar(m_day, nowMicros, &bar);
    if (m_dayOpened) {
        m_openCents = bar.openCents;
        m_highCents = bar.highCents;
        m_lowCents = bar.lowCents;
    } else {
        m_openCents = m_highCents = m_lowCents = m_lastCents;
    }
    if (m_synthetic) {
        m_volume = m_dayOpened ? bar.volume : 0;
        Requote(HashValues(m_seed, 0, 11));
        return;
    }
    if (m_minute.trades == 0 && m_bidCents == 0) {
        Requote(HashValues(m_seed, 0, 11));
    }
    if (m_index == m_minute.trades) {
        NextMinute();
    }
}

int CLevelOneStream::WalkMinute(const CMinuteBar& bar, int64_t untilMicros, CTick* last,
                                CTick* coming) const {
    int i = 0;
    for (; i < bar.trades; ++i) {
        *coming = *last;
        m_market.NextTick(bar, i, coming);
        if (coming->micros > untilMicros) {
            break;
        }
        *last = *coming;
    }
    return i;
}

void CLevelOneStream::NextMinute() {
    const int64_t limit = m_minute.minute + kSearchMinutes;
    do {
        if ((m_minute.minute + 1) % kMinutesPerDay == 0) {
            m_volumeBefore = 0;
            m_idBefore = 0;
        } else {
            m_volumeBefore += m_minute.volume;
            m_idBefore += static_cast<uint32_t>(m_minute.trades);
        }
        m_minute = m_market.Minute(m_minute.minute + 1);
    } while (m_minute.trades == 0 && m_minute.minute < limit);
    m_index = 0;
    if (m_minute.trades > 0) {
        m_coming = m_market.BeforeMinute(m_minute, m_volumeBefore, m_idBefore);
        m_market.NextTick(m_minute, 0, &m_coming);
    }
}

int64_t CLevelOneStream::NextTradeMicros() const {
    return m_index < m_minute.trades ? m_coming.micros : INT64_MAX;
}

void CLevelOneStream::StartDay(int64_t day) {
    if (m_dayOpened) {
        m_previousCloseCents = m_lastCents;
    }
    m_day = day;
    m_dayOpened = false;
    m_volume = 0;
}

const CTick& CLevelOneStream::TakeTrade() {
    m_taken = m_coming;
    // The trade after it, from this one (its quote carries on).
    if (++m_index < m_minute.trades) {
        m_market.NextTick(m_minute, m_index, &m_coming);
    } else {
        NextMinute();
    }
    const CTick& tick = m_taken;
    if (DayOf(tick.time) != m_day) {
        StartDay(DayOf(tick.time));
    }
    // The day's open, high and low are those of its regular trades, as in
    // the day's bar.
    if (!tick.extended) {
        if (!m_dayOpened) {
            m_openCents = m_highCents = m_lowCents = tick.priceCents;
            m_dayOpened = true;
        }
        m_highCents = std::max(m_highCents, tick.priceCents);
        m_lowCents = std::min(m_lowCents, tick.priceCents);
    } else if (!m_dayOpened) {
        // Before the day's first regular trade its open, high and low stand
        // at the last price, as when the stream began.
        m_openCents = m_highCents = m_lowCents = tick.priceCents;
    }
    NoteLastTrade(tick);
    m_volume = tick.dayVolume;
    m_step = tick.id;
    return tick;
}

void CLevelOneStream::NoteLastTrade(const CTick& tick) {
    m_lastCents = tick.priceCents;
    m_lastSize = tick.size;
    m_bidCents = tick.bidCents;
    m_askCents = tick.askCents;
    m_bidSize = tick.bidSize;
    m_askSize = tick.askSize;
}

void CLevelOneStream::AppendNextTrade(std::string* out, int64_t stampMicros) {
    const CTick& tick = TakeTrade();
    AppendLine(out, 'Q', tick.time, tick.extended ? 'T' : 't', stampMicros);
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
        marker = !m_market.Shape().session || IsRegularSession(now) ? 't' : 'T';
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
