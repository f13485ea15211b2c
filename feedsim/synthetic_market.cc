#include "feedsim/synthetic_market.h"

#include <algorithm>
#include <cmath>

namespace feedsim {

namespace {

uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

double Unit(uint64_t h) {
    return static_cast<double>(h >> 11) * 0x1.0p-53;
}

// Roughly standard normal: the sum of the four 16-bit parts of a hash, as
// four uniforms, scaled.
double Gauss(uint64_t h) {
    const double s = static_cast<double>((h & 0xFFFF) + ((h >> 16) & 0xFFFF) +
                                         ((h >> 32) & 0xFFFF) + (h >> 48)) /
                     65536.0;
    return (s - 2.0) * 1.7320508075688772;
}

constexpr int kOctaves = 12;
constexpr double kDailySigma = 0.018;
constexpr double kMinuteSigma = 0.012 / 31.0;  // about 1.2 % over a day's 960 minutes
constexpr int kRegularFirstMinute = (kRegularOpen - kExtendedOpen) / 60;  // 330
constexpr int kRegularLastMinute = (kRegularClose - kExtendedOpen) / 60;  // 720

// Mean size of a regular-session trade as DayTicks draws it.
constexpr int64_t kMeanRegularTradeSize = 430;

int64_t RoundCents(double cents) {
    return std::max<int64_t>(1, std::llround(cents));
}

}  // namespace

bool IsKnownSymbol(std::string_view symbol) {
    if (symbol.empty() || symbol.size() > 16 || symbol.starts_with("BAD") ||
        symbol.starts_with("UNKNOWN")) {
        return false;
    }
    for (char c : symbol) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
                        c == '#' || c == '@' || c == '_';
        if (!ok) {
            return false;
        }
    }
    return true;
}

uint64_t HashSymbol(std::string_view symbol) {
    uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a, then mixed
    for (unsigned char c : symbol) {
        h = (h ^ c) * 0x100000001B3ull;
    }
    return Mix(h);
}

uint64_t HashValues(uint64_t seed, uint64_t a, uint64_t b) {
    return Mix(seed ^ Mix(a * 0xD6E8FEB86659FD93ull ^ Mix(b + 0x632BE59BD9B4E019ull)));
}

bool IsTradingDay(int64_t day) {
    const int w = Weekday(day);
    return w != 0 && w != 6;
}

bool IsRegularSession(CivilSeconds t) {
    const int sod = SecondOfDay(t);
    return IsTradingDay(DayOf(t)) && sod >= kRegularOpen && sod < kRegularClose;
}

CSyntheticMarket::CSyntheticMarket(std::string_view symbol) : m_seed(HashSymbol(symbol)) {
    // Typical prices from $5 to $500.
    m_logBase = std::log(500.0) + Unit(Mix(m_seed ^ 1)) * std::log(100.0);
}

double CSyntheticMarket::LogAnchor(int64_t day) const {
    double value = m_logBase;
    for (int k = 0; k < kOctaves; ++k) {
        const int64_t span = int64_t{1} << k;
        const int64_t cell = day >= 0 ? day / span : -((-day + span - 1) / span);
        const double frac = static_cast<double>(day - cell * span) / static_cast<double>(span);
        const double a = Unit(HashValues(m_seed, k, static_cast<uint64_t>(cell))) * 2.0 - 1.0;
        const double b = Unit(HashValues(m_seed, k, static_cast<uint64_t>(cell + 1))) * 2.0 - 1.0;
        value += (a + (b - a) * frac) * kDailySigma * std::sqrt(static_cast<double>(span));
    }
    return value;
}

void CSyntheticMarket::DayPath(int64_t day, std::array<double, kPathMinutes + 1>* path) const {
    DayPath(day, path, 0, kPathMinutes);
}

void CSyntheticMarket::DayPath(int64_t day, std::array<double, kPathMinutes + 1>* path, int first,
                               int last) const {
    const double from = LogAnchor(day);
    const double to = LogAnchor(day + 1);
    auto& p = *path;
    p[0] = 0.0;
    const uint64_t seed = Mix(m_seed ^ static_cast<uint64_t>(day));
    for (int i = 1; i <= kPathMinutes; ++i) {
        p[i] = p[i - 1] + kMinuteSigma * Gauss(Mix(seed + static_cast<uint64_t>(i)));
    }
    const double drift = p[kPathMinutes] - (to - from);
    for (int i = first; i <= last; ++i) {
        p[i] = std::exp(from + p[i] - drift * i / kPathMinutes);
    }
}

void CSyntheticMarket::DayTicks(int64_t day, CivilSeconds until, std::vector<CTick>* out) const {
    out->clear();
    if (!IsTradingDay(day)) {
        return;
    }
    std::array<double, kPathMinutes + 1> path;
    DayPath(day, &path);
    const CivilSeconds dayStart = day * kSecondsPerDay;
    CTick tick;
    bool quoted = false;
    for (int m = 0; m < kPathMinutes; ++m) {
        const int minuteStart = kExtendedOpen + m * 60;
        if (dayStart + minuteStart > until) {
            break;
        }
        const bool regular = m >= kRegularFirstMinute && m < kRegularLastMinute;
        const uint64_t hm = HashValues(m_seed, day, 100000 + m);
        const int count = regular ? 6 + static_cast<int>(hm % 13) : static_cast<int>(hm % 4);
        int seconds[20];
        for (int j = 0; j < count; ++j) {
            seconds[j] = static_cast<int>(HashValues(hm, j, 1) % 60);
        }
        std::sort(seconds, seconds + count);
        for (int j = 0; j < count; ++j) {
            const CivilSeconds t = dayStart + minuteStart + seconds[j];
            if (t > until) {
                return;
            }
            const uint64_t h = HashValues(hm, j, 2);
            const double base = path[m] + (path[m + 1] - path[m]) * seconds[j] / 60.0;
            tick.time = t;
            tick.extended = !regular;
            tick.priceCents =
                std::max<int64_t>(1, RoundCents(base) + static_cast<int64_t>(h % 3) - 1);
            const int lot = static_cast<int>((h >> 8) % 100);
            const int64_t sizeBits = static_cast<int64_t>((h >> 16) % 100);
            if (lot < 70) {
                tick.size = static_cast<int32_t>(100 * (1 + sizeBits % (regular ? 5 : 3)));
            } else if (lot < 90) {
                tick.size = static_cast<int32_t>(100 * (1 + sizeBits % 20));
            } else {
                tick.size = static_cast<int32_t>(1 + sizeBits % 99);
            }
            if (!quoted || tick.priceCents < tick.bidCents || tick.priceCents > tick.askCents ||
                ((h >> 24) & 1) == 0) {
                const int64_t spread = 1 + static_cast<int64_t>((h >> 28) % 3) + (regular ? 0 : 2);
                tick.bidCents = std::max<int64_t>(
                    1, tick.priceCents - static_cast<int64_t>((h >> 32) % (spread + 1)));
                tick.askCents = tick.bidCents + spread;
                tick.bidSize = static_cast<int32_t>(100 * (1 + (h >> 36) % 50));
                tick.askSize = static_cast<int32_t>(100 * (1 + (h >> 44) % 50));
                quoted = true;
            }
            tick.dayVolume += tick.size;
            ++tick.id;
            out->push_back(tick);
        }
    }
}

bool CSyntheticMarket::DayBar(int64_t day, CivilSeconds until, CDayBar* out) const {
    if (!IsTradingDay(day)) {
        return false;
    }
    const CivilSeconds dayStart = day * kSecondsPerDay;
    if (until < dayStart + kRegularOpen) {
        return false;
    }
    int last = kRegularLastMinute;
    if (until < dayStart + kRegularClose) {
        last = static_cast<int>((until - dayStart - kExtendedOpen) / 60);
    }
    std::array<double, kPathMinutes + 1> path;
    DayPath(day, &path, kRegularFirstMinute, last);
    out->day = day;
    out->openCents = RoundCents(path[kRegularFirstMinute]);
    out->closeCents = RoundCents(path[last]);
    out->highCents = out->lowCents = out->openCents;
    for (int i = kRegularFirstMinute; i <= last; ++i) {
        const int64_t c = RoundCents(path[i]);
        out->highCents = std::max(out->highCents, c);
        out->lowCents = std::min(out->lowCents, c);
    }
    // The expected volume of the day's regular trades so far: trade counts per
    // minute as the ticks draw them, times the mean trade size.
    int64_t trades = 0;
    for (int m = kRegularFirstMinute; m < last; ++m) {
        trades += 6 + static_cast<int64_t>(HashValues(m_seed, day, 100000 + m) % 13);
    }
    out->volume = std::max<int64_t>(100, trades * kMeanRegularTradeSize / 100 * 100);
    return true;
}

int64_t CSyntheticMarket::PriceAt(CivilSeconds t) const {
    std::array<double, kPathMinutes + 1> path;
    const int64_t day = DayOf(t);
    DayPath(day, &path);
    const int minute = std::clamp((SecondOfDay(t) - kExtendedOpen) / 60, 0, kPathMinutes);
    return RoundCents(path[minute]);
}

}  // namespace feedsim
