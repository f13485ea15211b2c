// Deterministic synthetic markets. Every value is a pure function of the
// symbol and the time, so the same request always gets the same reply.
//
// The price of a symbol follows a random walk: day anchors come from a sum of
// hashed value-noise octaves (a cheap stand-in for a long random walk that can
// be evaluated at any day without walking from the start), and each trading
// day's minute path from 04:00 to 20:00 is a random-walk bridge from that
// day's anchor to the next one. Trades are drawn minute by minute along the
// path: dense in the regular session 09:30-16:00, sparse in the extended hours
// 04:00-09:30 and 16:00-20:00. Trading days are Monday to Friday.
#pragma once

#include <array>
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
inline constexpr int kPathMinutes = (kExtendedClose - kExtendedOpen) / 60;  // 960

bool IsTradingDay(int64_t day);
// Regular session (09:30:00 up to, not including, 16:00:00) of a trading day.
bool IsRegularSession(CivilSeconds t);

struct CTick {
    CivilSeconds time = 0;
    int64_t priceCents = 0;
    int32_t size = 0;
    int64_t bidCents = 0, askCents = 0;
    int32_t bidSize = 0, askSize = 0;
    int64_t dayVolume = 0;  // the day's volume including this trade
    uint32_t id = 0;        // number of the trade within its day, from 1
    bool extended = false;  // outside the regular session
};

struct CDayBar {
    int64_t day = 0;  // day number of the bar's (last) trading day
    int64_t openCents = 0, highCents = 0, lowCents = 0, closeCents = 0;
    int64_t volume = 0;
};

class CSyntheticMarket {
  public:
    explicit CSyntheticMarket(std::string_view symbol);

    uint64_t Seed() const { return m_seed; }

    // The day's price path in cents at each minute from 04:00 (index 0) to
    // 20:00 (index kPathMinutes).
    void DayPath(int64_t day, std::array<double, kPathMinutes + 1>* path) const;

    // Replaces out with the trades of one trading day, in time order, up to
    // and including until. Nothing for a day that is not a trading day.
    void DayTicks(int64_t day, CivilSeconds until, std::vector<CTick>* out) const;

    // The regular-session bar of a trading day as far as until reaches.
    // False when the day is no trading day or until is before 09:30 that day.
    bool DayBar(int64_t day, CivilSeconds until, CDayBar* out) const;

    // The path's price in cents at time t (clamped to the day's path).
    int64_t PriceAt(CivilSeconds t) const;

  private:
    // The path with prices only at the minutes first to last (the others
    // hold log offsets).
    void DayPath(int64_t day, std::array<double, kPathMinutes + 1>* path, int first,
                 int last) const;
    double LogAnchor(int64_t day) const;

    uint64_t m_seed;
    double m_logBase;  // log of the typical price in cents
};

}  // namespace feedsim
