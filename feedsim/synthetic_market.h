// Deterministic synthetic markets. Every value is a pure function of the
// symbol, the market's shape and the time, so the same request always gets
// the same reply, and the trades the level-one port streams are the trades
// the lookup port replies with once they are past.
//
// The minute is the unit. The price of a symbol is a pure function of the
// minute: day anchors from a sum of hashed value-noise octaves, interpolated
// through the day, smooth intraday octaves and a bounded hashed noise. Minute
// m opens at P(m) and closes at P(m+1); its high and low lie a hashed extra
// beyond; its trade count is the rate's share of the minute with a hashed
// jitter, and its volume is the count times a hashed base size (the sizes
// are drawn in pairs around the base). So a minute's bar costs O(1) and its
// trades, generated on demand, O(count): the first at the open, the last at
// the close, one at the high and one at the low, the rest in between, at
// increasing times spread over the minute.
//
// Told a session, trades happen Monday to Friday from 04:00 to 20:00, at the
// rate in the regular session 09:30-16:00 and at half of it (marked
// extended) outside; told none, every minute of every day trades at the
// rate, as regular trades, so a set-up tried at night sees a market.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "feedsim/civil_time.h"

namespace feedsim {

// A symbol is known when it is 1 to 16 characters of A-Z, 0-9 and . - # @ _
// and does not start with "BAD" or "UNKNOWN" (reserved for unknown symbols).
bool IsKnownSymbol(std::string_view symbol);

uint64_t HashSymbol(std::string_view symbol);
// Well-mixed 64-bit hash of a seed and two values.
uint64_t HashValues(uint64_t seed, uint64_t a, uint64_t b);

inline constexpr int kExtendedOpen = 4 * 3600;
inline constexpr int kRegularOpen = 9 * 3600 + 30 * 60;
inline constexpr int kRegularClose = 16 * 3600;
inline constexpr int kExtendedClose = 20 * 3600;
inline constexpr int64_t kMinutesPerDay = kSecondsPerDay / 60;
inline constexpr int64_t kMicrosPerSecond = 1000000;
inline constexpr double kDefaultTradeRate = 4.0;

bool IsTradingDay(int64_t day);
// Regular session (09:30:00 up to, not including, 16:00:00) of a trading day.
bool IsRegularSession(CivilSeconds t);

inline int64_t FloorDiv(int64_t a, int64_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}
inline int64_t MinuteOf(CivilSeconds t) {
    return FloorDiv(t, 60);
}

// What kind of market a symbol trades in.
struct CMarketShape {
    double rate = kDefaultTradeRate;  // trades per second in the regular session
    bool session = false;             // trading hours and extended trades, else any hour
};

struct CTick {
    CivilSeconds time = 0;  // the trade's second
    int64_t micros = 0;     // the trade's exact time, microseconds since the epoch
    int64_t priceCents = 0;
    int32_t size = 0;
    int64_t bidCents = 0, askCents = 0;
    int32_t bidSize = 0, askSize = 0;
    int64_t dayVolume = 0;  // the day's volume including this trade
    uint32_t id = 0;        // number of the trade within its day, from 1
    bool extended = false;  // outside the regular session
};

// One minute's trades in sum.
struct CMinuteBar {
    int64_t minute = 0;
    int32_t trades = 0;
    int64_t openCents = 0, highCents = 0, lowCents = 0, closeCents = 0;
    int64_t volume = 0;
    int32_t baseSize = 0;
    int32_t highIndex = -1, lowIndex = -1;  // the trades at the high and the low
    bool regular = false;
};

struct CDayBar {
    int64_t day = 0;  // day number of the bar's (last) trading day
    int64_t openCents = 0, highCents = 0, lowCents = 0, closeCents = 0;
    int64_t volume = 0;
};

class CSyntheticMarket {
  public:
    explicit CSyntheticMarket(std::string_view symbol, CMarketShape shape = {});

    uint64_t Seed() const { return m_seed; }
    const CMarketShape& Shape() const { return m_shape; }

    // The minute's bar (trades 0 when it has none). O(1).
    CMinuteBar Minute(int64_t minute) const;

    // Replaces out with the minute's trades in time order. dayVolume and
    // trade numbers continue from the values of the trade before it that
    // day (0 for the day's first minute).
    void MinuteTicks(const CMinuteBar& bar, int64_t dayVolumeBefore, uint32_t idBefore,
                     std::vector<CTick>* out) const;

    // The same one trade at a time, without keeping the minute's trades:
    // BeforeMinute gives the value NextTick turns into the minute's first
    // trade (i 0), and NextTick turns trade i - 1 into trade i (i below
    // bar.trades).
    CTick BeforeMinute(const CMinuteBar& bar, int64_t dayVolumeBefore, uint32_t idBefore) const;
    void NextTick(const CMinuteBar& bar, int i, CTick* trade) const;

    // The day's volume and trade count before the minute.
    void DayBefore(int64_t minute, int64_t* volume, uint32_t* trades) const;

    // Replaces out with the trades of one day, in time order, up to and
    // including the microsecond untilMicros.
    void DayTicks(int64_t day, int64_t untilMicros, std::vector<CTick>* out) const;

    // The bar of the day's regular trades up to and including the
    // microsecond untilMicros. False when the day has none by then.
    bool DayBar(int64_t day, int64_t untilMicros, CDayBar* out) const;

    // The price in cents at the start of the minute of t.
    int64_t PriceAt(CivilSeconds t) const;

  private:
    double LogAnchor(int64_t day) const;
    double LogPrice(int64_t minute) const;
    int64_t PriceCents(int64_t minute) const;
    double MeanTrades(int64_t minute, bool* regular) const;
    // The minute's count of trades, base size and volume (no prices); returns
    // the hash the rest of its bar is drawn from.
    uint64_t MinuteCount(int64_t minute, CMinuteBar* bar) const;

    uint64_t m_seed;
    CMarketShape m_shape;
    double m_logBase;  // log of the typical price in cents
    // Memos of the values walks ask again and again: the last day's anchors,
    // the intraday octaves' cells and the last two minutes' prices.
    struct COctave {
        int64_t cell = INT64_MIN;
        double from = 0.0, to = 0.0;
    };
    struct CPriceMemo {
        int64_t minute = INT64_MIN;
        int64_t cents = 0;
    };
    mutable int64_t m_anchorDay = INT64_MIN;
    mutable double m_anchorFrom = 0.0, m_anchorTo = 0.0;
    mutable COctave m_octaves[3];
    mutable CPriceMemo m_prices[2];
};

}  // namespace feedsim
