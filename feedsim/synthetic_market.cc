#include "feedsim/synthetic_market.h"

#include <algorithm>
#include <cmath>
#include <iterator>

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

constexpr int kOctaves = 12;
constexpr double kDailySigma = 0.018;
constexpr double kMinuteSigma = 0.012 / 31.0;  // about 1.2 % over a day
// Intraday value-noise octaves, in minutes.
constexpr int64_t kIntradaySpans[] = {240, 60, 15};
constexpr double kMinuteNoise = 0.0003;

// Hash salts of the minute's values, its trades and their quotes.
constexpr uint64_t kMinuteSalt = 0x6D696E75746521ull;
constexpr uint64_t kTradeSalt = 0x7472616465ull;
constexpr uint64_t kSizeSalt = 0x73697A65ull;
constexpr uint64_t kQuoteSalt = 0x71756F7465ull;

int64_t RoundCents(double cents) {
    return std::max<int64_t>(1, std::llround(cents));
}

double Smooth(double f) {
    return f * f * (3.0 - 2.0 * f);
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

CSyntheticMarket::CSyntheticMarket(std::string_view symbol, CMarketShape shape)
    : m_seed(HashSymbol(symbol)), m_shape(shape) {
    // Typical prices from $5 to $500.
    m_logBase = std::log(500.0) + Unit(Mix(m_seed ^ 1)) * std::log(100.0);
}

double CSyntheticMarket::LogAnchor(int64_t day) const {
    double value = m_logBase;
    for (int k = 0; k < kOctaves; ++k) {
        const int64_t span = int64_t{1} << k;
        const int64_t cell = FloorDiv(day, span);
        const double frac = static_cast<double>(day - cell * span) / static_cast<double>(span);
        const double a = Unit(HashValues(m_seed, k, static_cast<uint64_t>(cell))) * 2.0 - 1.0;
        const double b = Unit(HashValues(m_seed, k, static_cast<uint64_t>(cell + 1))) * 2.0 - 1.0;
        value += (a + (b - a) * frac) * kDailySigma * std::sqrt(static_cast<double>(span));
    }
    return value;
}

double CSyntheticMarket::LogPrice(int64_t minute) const {
    const int64_t day = FloorDiv(minute, kMinutesPerDay);
    if (day != m_anchorDay) {
        m_anchorDay = day;
        m_anchorFrom = LogAnchor(day);
        m_anchorTo = LogAnchor(day + 1);
    }
    const double f = static_cast<double>(minute - day * kMinutesPerDay) / kMinutesPerDay;
    double value = m_anchorFrom + (m_anchorTo - m_anchorFrom) * f;
    for (size_t k = 0; k < std::size(kIntradaySpans); ++k) {
        const int64_t span = kIntradaySpans[k];
        const int64_t cell = FloorDiv(minute, span);
        COctave& o = m_octaves[k];
        if (o.cell != cell) {
            o.cell = cell;
            o.from = Unit(HashValues(m_seed, 100 + k, static_cast<uint64_t>(cell))) * 2.0 - 1.0;
            o.to = Unit(HashValues(m_seed, 100 + k, static_cast<uint64_t>(cell + 1))) * 2.0 - 1.0;
        }
        const double frac = Smooth(static_cast<double>(minute - cell * span) / span);
        value += (o.from + (o.to - o.from) * frac) * kMinuteSigma *
                 std::sqrt(static_cast<double>(span)) * 1.5;
    }
    value +=
        (Unit(HashValues(m_seed, 200, static_cast<uint64_t>(minute))) * 2.0 - 1.0) * kMinuteNoise;
    return value;
}

int64_t CSyntheticMarket::PriceCents(int64_t minute) const {
    // A minute's close is the next one's open: walks ask each price twice.
    CPriceMemo& memo = m_prices[minute & 1];
    if (memo.minute != minute) {
        memo.minute = minute;
        memo.cents = RoundCents(std::exp(LogPrice(minute)));
    }
    return memo.cents;
}

int64_t CSyntheticMarket::PriceAt(CivilSeconds t) const {
    return PriceCents(MinuteOf(t));
}

double CSyntheticMarket::MeanTrades(int64_t minute, bool* regular) const {
    const double perMinute = m_shape.rate * 60.0;
    if (!m_shape.session) {
        *regular = true;
        return perMinute;
    }
    const int64_t day = FloorDiv(minute, kMinutesPerDay);
    const int sod = static_cast<int>(minute - day * kMinutesPerDay) * 60;
    *regular = sod >= kRegularOpen && sod < kRegularClose;
    if (!IsTradingDay(day) || sod < kExtendedOpen || sod >= kExtendedClose) {
        return 0.0;
    }
    return *regular ? perMinute : perMinute / 2.0;
}

uint64_t CSyntheticMarket::MinuteCount(int64_t minute, CMinuteBar* bar) const {
    bar->minute = minute;
    const double mean = MeanTrades(minute, &bar->regular);
    if (mean <= 0.0) {
        return 0;
    }
    const uint64_t h = HashValues(m_seed ^ kMinuteSalt, static_cast<uint64_t>(minute), 1);
    const uint64_t g = HashValues(m_seed ^ kMinuteSalt, static_cast<uint64_t>(minute), 2);
    // A jitter of +-30 % and a random rounding keep low rates right on average.
    const double drawn = mean * (0.7 + 0.6 * Unit(h)) + Unit(g);
    bar->trades = static_cast<int32_t>(std::min(drawn, 1.0e6));
    if (bar->trades > 0) {
        bar->baseSize = static_cast<int32_t>(100 * (2 + (g >> 44) % 4));
        bar->volume = static_cast<int64_t>(bar->trades) * bar->baseSize;
    }
    return g;
}

CMinuteBar CSyntheticMarket::Minute(int64_t minute) const {
    CMinuteBar bar;
    const uint64_t g = MinuteCount(minute, &bar);
    if (bar.trades == 0) {
        return bar;
    }
    const int n = bar.trades;
    bar.openCents = PriceCents(minute);
    bar.closeCents = n >= 2 ? PriceCents(minute + 1) : bar.openCents;
    const int64_t extra = std::max<int64_t>(1, bar.openCents / 2000);
    const int64_t up = n >= 3 ? static_cast<int64_t>((g >> 20) % (extra + 1)) : 0;
    const int64_t down = n >= 4 ? static_cast<int64_t>((g >> 32) % (extra + 1)) : 0;
    bar.highCents = std::max(bar.openCents, bar.closeCents) + up;
    bar.lowCents = std::max<int64_t>(1, std::min(bar.openCents, bar.closeCents) - down);
    if (n >= 3) {
        bar.highIndex = 1 + static_cast<int32_t>((g >> 8) % static_cast<uint64_t>(n - 2));
    }
    if (n >= 4) {
        bar.lowIndex = 1 + static_cast<int32_t>((g >> 52) % static_cast<uint64_t>(n - 3));
        if (bar.lowIndex >= bar.highIndex) {
            ++bar.lowIndex;
        }
    }
    return bar;
}

CTick CSyntheticMarket::BeforeMinute(const CMinuteBar& bar, int64_t dayVolumeBefore,
                                     uint32_t idBefore) const {
    CTick tick;
    tick.extended = m_shape.session && !bar.regular;
    tick.dayVolume = dayVolumeBefore;
    tick.id = idBefore;
    return tick;
}

void CSyntheticMarket::NextTick(const CMinuteBar& bar, int i, CTick* trade) const {
    CTick& tick = *trade;
    const int n = bar.trades;
    const int64_t startMicros = bar.minute * 60 * kMicrosPerSecond;
    const double slot = 60.0 * kMicrosPerSecond / n;
    const int64_t extra = std::max<int64_t>(1, bar.openCents / 2000);
    const int32_t lots = bar.baseSize / 100;
    const uint64_t minute = static_cast<uint64_t>(bar.minute);
    const uint64_t h = HashValues(m_seed ^ kTradeSalt, minute, static_cast<uint64_t>(i));
    // Each trade in its own slot of the minute, so times only increase.
    tick.micros = startMicros + static_cast<int64_t>((i + Unit(h)) * slot);
    tick.micros = std::min(tick.micros, startMicros + 60 * kMicrosPerSecond - 1);
    tick.time = tick.micros / kMicrosPerSecond;
    if (i == 0) {
        tick.priceCents = bar.openCents;
    } else if (i == n - 1) {
        tick.priceCents = bar.closeCents;
    } else if (i == bar.highIndex) {
        tick.priceCents = bar.highCents;
    } else if (i == bar.lowIndex) {
        tick.priceCents = bar.lowCents;
    } else {
        const double along = static_cast<double>(i) / (n - 1);
        const int64_t path = bar.openCents + std::llround((bar.closeCents - bar.openCents) * along);
        const int64_t noise = static_cast<int64_t>((h >> 12) % (2 * extra + 1)) - extra;
        tick.priceCents = std::clamp(path + noise, bar.lowCents, bar.highCents);
    }
    // Sizes in pairs (i, n-1-i) around the base: the pair sums to twice
    // the base, so the minute's volume is known without its trades.
    const int pair = std::min(i, n - 1 - i);
    int64_t delta = 0;
    if (i != n - 1 - i) {
        const uint64_t s = HashValues(m_seed ^ kSizeSalt, minute, static_cast<uint64_t>(pair));
        if (s % 100 < 85) {
            delta = 100 * (static_cast<int64_t>((s >> 8) % (2 * lots - 1)) - (lots - 1));
        } else {
            delta = static_cast<int64_t>((s >> 8) % (2 * bar.baseSize - 1)) - (bar.baseSize - 1);
        }
        if (i > pair) {
            delta = -delta;
        }
    }
    tick.size = static_cast<int32_t>(bar.baseSize + delta);
    const uint64_t q = HashValues(m_seed ^ kQuoteSalt, minute, static_cast<uint64_t>(i));
    if (i == 0 || tick.priceCents < tick.bidCents || tick.priceCents > tick.askCents ||
        (q & 1) == 0) {
        const int64_t spread = 1 + static_cast<int64_t>((q >> 4) % 3) + (tick.extended ? 2 : 0);
        tick.bidCents =
            std::max<int64_t>(1, tick.priceCents - static_cast<int64_t>((q >> 8) % (spread + 1)));
        tick.askCents = tick.bidCents + spread;
        tick.bidSize = static_cast<int32_t>(100 * (1 + (q >> 16) % 50));
        tick.askSize = static_cast<int32_t>(100 * (1 + (q >> 24) % 50));
    }
    tick.dayVolume += tick.size;
    ++tick.id;
}

void CSyntheticMarket::MinuteTicks(const CMinuteBar& bar, int64_t dayVolumeBefore,
                                   uint32_t idBefore, std::vector<CTick>* out) const {
    out->clear();
    if (bar.trades <= 0) {
        return;
    }
    out->reserve(static_cast<size_t>(bar.trades));
    CTick tick = BeforeMinute(bar, dayVolumeBefore, idBefore);
    for (int i = 0; i < bar.trades; ++i) {
        NextTick(bar, i, &tick);
        out->push_back(tick);
    }
}

void CSyntheticMarket::DayBefore(int64_t minute, int64_t* volume, uint32_t* trades) const {
    *volume = 0;
    *trades = 0;
    for (int64_t m = FloorDiv(minute, kMinutesPerDay) * kMinutesPerDay; m < minute; ++m) {
        CMinuteBar bar;
        MinuteCount(m, &bar);
        *volume += bar.volume;
        *trades += static_cast<uint32_t>(bar.trades);
    }
}

void CSyntheticMarket::DayTicks(int64_t day, int64_t untilMicros, std::vector<CTick>* out) const {
    out->clear();
    std::vector<CTick> minute;
    int64_t volume = 0;
    uint32_t id = 0;
    for (int64_t m = day * kMinutesPerDay; m < (day + 1) * kMinutesPerDay; ++m) {
        if (m * 60 * kMicrosPerSecond > untilMicros) {
            break;
        }
        const CMinuteBar bar = Minute(m);
        MinuteTicks(bar, volume, id, &minute);
        for (const CTick& t : minute) {
            if (t.micros > untilMicros) {
                return;
            }
            out->push_back(t);
        }
        volume += bar.volume;
        id += static_cast<uint32_t>(bar.trades);
    }
}

bool CSyntheticMarket::DayBar(int64_t day, int64_t untilMicros, CDayBar* out) const {
    bool any = false;
    auto add = [&](int64_t open, int64_t high, int64_t low, int64_t close, int64_t volume) {
        if (!any) {
            out->day = day;
            out->openCents = open;
            out->highCents = high;
            out->lowCents = low;
            out->volume = 0;
            any = true;
        }
        out->highCents = std::max(out->highCents, high);
        out->lowCents = std::min(out->lowCents, low);
        out->closeCents = close;
        out->volume += volume;
    };
    for (int64_t m = day * kMinutesPerDay; m < (day + 1) * kMinutesPerDay; ++m) {
        const int64_t start = m * 60 * kMicrosPerSecond;
        if (start > untilMicros) {
            break;
        }
        const CMinuteBar bar = Minute(m);
        if (bar.trades == 0 || !bar.regular) {
            continue;
        }
        if (start + 60 * kMicrosPerSecond - 1 <= untilMicros) {
            add(bar.openCents, bar.highCents, bar.lowCents, bar.closeCents, bar.volume);
            continue;
        }
        CTick t = BeforeMinute(bar, 0, 0);
        for (int i = 0; i < bar.trades; ++i) {
            NextTick(bar, i, &t);
            if (t.micros > untilMicros) {
                break;
            }
            add(t.priceCents, t.priceCents, t.priceCents, t.priceCents, t.size);
        }
    }
    return any;
}

}  // namespace feedsim
