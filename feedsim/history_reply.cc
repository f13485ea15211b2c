#include "feedsim/history_reply.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace feedsim {

char* WriteTickLine(char* p, const CTick& tick) {
    p = WriteIsoDateTime(p, tick.time);
    *p++ = ',';
    p = WriteCents(p, tick.priceCents);
    *p++ = ',';
    p = WriteInteger(p, tick.size);
    *p++ = ',';
    p = WriteInteger(p, tick.dayVolume);
    *p++ = ',';
    p = WriteCents(p, tick.bidCents);
    *p++ = ',';
    p = WriteCents(p, tick.askCents);
    *p++ = ',';
    p = WriteInteger(p, tick.id);
    *p++ = ',';
    p = WriteInteger(p, tick.bidSize);
    *p++ = ',';
    p = WriteInteger(p, tick.askSize);
    *p++ = ',';
    *p++ = tick.extended ? 'E' : 'C';
    *p++ = ',';
    *p++ = '\r';
    *p++ = '\n';
    return p;
}

char* WriteIntervalBarLine(char* p, CivilSeconds start, int64_t high, int64_t low, int64_t open,
                           int64_t close, int64_t dayVolume, int64_t volume, int64_t trades) {
    p = WriteIsoDateTime(p, start);
    for (int64_t cents : {high, low, open, close}) {
        *p++ = ',';
        p = WriteCents(p, cents);
    }
    for (int64_t n : {dayVolume, volume, trades}) {
        *p++ = ',';
        p = WriteInteger(p, n);
    }
    *p++ = ',';
    *p++ = '\r';
    *p++ = '\n';
    return p;
}

char* WriteDayBarLine(char* p, const CDayBar& bar) {
    p = WriteIsoDate(p, bar.day);
    for (int64_t cents : {bar.highCents, bar.lowCents, bar.openCents, bar.closeCents}) {
        *p++ = ',';
        p = WriteCents(p, cents);
    }
    *p++ = ',';
    p = WriteInteger(p, bar.volume);
    *p++ = ',';
    *p++ = '0';
    *p++ = ',';
    *p++ = '\r';
    *p++ = '\n';
    return p;
}

namespace {

// The time window of a tick or interval request, to the microsecond.
struct CWindow {
    int64_t from = 0;
    int64_t to = 0;
    bool filtered = false;
    int filterBegin = 0;
    int filterEnd = kSecondsPerDay - 1;

    bool Admits(const CTick& tick) const {
        if (tick.micros < from || tick.micros > to) {
            return false;
        }
        const int sod = SecondOfDay(tick.time);
        return !filtered || (sod >= filterBegin && sod <= filterEnd);
    }
    // Whether every second of the minute is admitted.
    bool AdmitsWhole(int64_t minute) const {
        const int64_t start = minute * 60 * kMicrosPerSecond;
        if (start < from || start + 60 * kMicrosPerSecond - 1 > to) {
            return false;
        }
        const int sod = SecondOfDay(minute * 60);
        return !filtered || (sod >= filterBegin && sod + 59 <= filterEnd);
    }
};

// The history's end: the feed's clock to the microsecond (the whole second
// now when only that is known).
int64_t NowMicros(const CReplySettings& settings) {
    return settings.nowMicros > 0 ? settings.nowMicros
                                  : settings.now * kMicrosPerSecond + kMicrosPerSecond - 1;
}

CWindow MakeWindow(const CHistoryRequest& request, const CReplySettings& settings, int depthDays) {
    CWindow w;
    const int64_t now = NowMicros(settings);
    w.from = (settings.now - static_cast<int64_t>(depthDays) * kSecondsPerDay) * kMicrosPerSecond;
    if (request.hasStart) {
        w.from = std::max(w.from, request.start * kMicrosPerSecond);
    }
    w.to =
        request.hasEnd ? std::min(now, request.end * kMicrosPerSecond + kMicrosPerSecond - 1) : now;
    w.filtered = request.filtered;
    w.filterBegin = request.filterBegin;
    w.filterEnd = request.filterEnd;
    return w;
}

// Walks the minutes of a window that admit something: each either whole
// (its bar stands for it) or as its admitted trades.
class CMinuteWalker {
  public:
    CMinuteWalker(std::string_view symbol, const CMarketShape& shape, const CWindow& window,
                  bool wholeMinutes)
        : m_market(symbol, shape),
          m_window(window),
          m_wholeMinutes(wholeMinutes),
          m_minute(FloorDiv(window.from, 60 * kMicrosPerSecond) - 1),
          m_last(FloorDiv(window.to, 60 * kMicrosPerSecond)) {
        m_market.DayBefore(m_minute + 1, &m_volumeBefore, &m_idBefore);
    }

    // Moves to the next minute with something admitted; false at the end.
    bool Next() {
        while (m_minute < m_last) {
            if (m_started) {
                m_volumeBefore += m_bar.volume;
                m_idBefore += static_cast<uint32_t>(m_bar.trades);
            }
            ++m_minute;
            m_started = true;
            if (m_minute % kMinutesPerDay == 0) {
                m_volumeBefore = 0;
                m_idBefore = 0;
            }
            m_bar = m_market.Minute(m_minute);
            if (m_bar.trades == 0) {
                continue;
            }
            m_whole = m_wholeMinutes && m_window.AdmitsWhole(m_minute);
            m_ticks.clear();
            if (!m_whole) {
                m_market.MinuteTicks(m_bar, m_volumeBefore, m_idBefore, &m_all);
                for (const CTick& t : m_all) {
                    if (m_window.Admits(t)) {
                        m_ticks.push_back(t);
                    }
                }
                if (m_ticks.empty()) {
                    continue;
                }
            }
            return true;
        }
        return false;
    }

    bool Whole() const { return m_whole; }
    const CMinuteBar& Bar() const { return m_bar; }
    int64_t DayVolumeAfter() const { return m_volumeBefore + m_bar.volume; }
    const std::vector<CTick>& Ticks() const { return m_ticks; }

  private:
    CSyntheticMarket m_market;
    CWindow m_window;
    bool m_wholeMinutes;
    int64_t m_minute;
    int64_t m_last;
    bool m_started = false;
    bool m_whole = false;
    CMinuteBar m_bar;
    int64_t m_volumeBefore = 0;
    uint32_t m_idBefore = 0;
    std::vector<CTick> m_all;
    std::vector<CTick> m_ticks;
};

class CTickSource : public CReplySource {
  public:
    CTickSource(std::string_view symbol, const CMarketShape& shape, const CWindow& window)
        : m_walker(symbol, shape, window, false) {}

    size_t Produce(std::string* out, size_t byteBudget, size_t maxLines) override {
        const size_t begin = out->size();
        size_t lines = 0;
        char buffer[kMaxLineBytes];
        while (lines < maxLines && out->size() - begin < byteBudget) {
            if (m_index == m_walker.Ticks().size()) {
                if (!m_walker.Next()) {
                    m_done = true;
                    break;
                }
                m_index = 0;
                continue;
            }
            out->append(buffer, WriteTickLine(buffer, m_walker.Ticks()[m_index++]));
            ++lines;
        }
        return lines;
    }
    bool Exhausted() const override { return m_done; }

  private:
    CMinuteWalker m_walker;
    size_t m_index = 0;
    bool m_done = false;
};

// Bars of whole minutes come from the minutes' bars, the others from their
// trades.
class CIntervalSource : public CReplySource {
  public:
    CIntervalSource(std::string_view symbol, const CMarketShape& shape, const CWindow& window,
                    int seconds)
        : m_walker(symbol, shape, window, seconds % 60 == 0), m_seconds(seconds) {}

    size_t Produce(std::string* out, size_t byteBudget, size_t maxLines) override {
        const size_t begin = out->size();
        size_t lines = 0;
        while (lines < maxLines && out->size() - begin < byteBudget) {
            if (!m_pending && !Advance()) {
                if (m_open) {
                    Emit(out);
                    ++lines;
                }
                m_done = true;
                break;
            }
            const CivilSeconds bucket = m_time - SecondOfDay(m_time) % m_seconds;
            if (m_open && bucket != m_start) {
                Emit(out);
                ++lines;
                continue;
            }
            if (!m_open) {
                m_open = true;
                m_start = bucket;
                m_openCents = m_part.openCents;
                m_highCents = m_part.highCents;
                m_lowCents = m_part.lowCents;
                m_volume = m_trades = 0;
            }
            m_highCents = std::max(m_highCents, m_part.highCents);
            m_lowCents = std::min(m_lowCents, m_part.lowCents);
            m_closeCents = m_part.closeCents;
            m_volume += m_part.volume;
            m_dayVolume = m_partDayVolume;
            m_trades += m_part.trades;
            m_pending = false;
        }
        return lines;
    }
    bool Exhausted() const override { return m_done; }

  private:
    // The next part of a bar: a whole minute or one trade.
    bool Advance() {
        if (m_index == m_walker.Ticks().size()) {
            if (!m_walker.Next()) {
                return false;
            }
            m_index = 0;
            if (m_walker.Whole()) {
                m_part = m_walker.Bar();
                m_time = m_part.minute * 60;
                m_partDayVolume = m_walker.DayVolumeAfter();
                m_pending = true;
                return true;
            }
        }
        const CTick& t = m_walker.Ticks()[m_index++];
        m_part.openCents = m_part.highCents = m_part.lowCents = m_part.closeCents = t.priceCents;
        m_part.volume = t.size;
        m_part.trades = 1;
        m_time = t.time;
        m_partDayVolume = t.dayVolume;
        m_pending = true;
        return true;
    }

    void Emit(std::string* out) {
        char buffer[kMaxLineBytes];
        out->append(buffer,
                    WriteIntervalBarLine(buffer, m_start, m_highCents, m_lowCents, m_openCents,
                                         m_closeCents, m_dayVolume, m_volume, m_trades));
        m_open = false;
    }

    CMinuteWalker m_walker;
    int m_seconds;
    size_t m_index = 0;
    CMinuteBar m_part;
    CivilSeconds m_time = 0;
    int64_t m_partDayVolume = 0;
    bool m_pending = false;
    bool m_open = false;
    bool m_done = false;
    CivilSeconds m_start = 0;
    int64_t m_openCents = 0, m_highCents = 0, m_lowCents = 0, m_closeCents = 0;
    int64_t m_volume = 0, m_dayVolume = 0, m_trades = 0;
};

// A reply rendered in full up front (day bars: a few thousand lines at most).
class CTextSource : public CReplySource {
  public:
    explicit CTextSource(std::string text) : m_text(std::move(text)) {}

    size_t Produce(std::string* out, size_t byteBudget, size_t maxLines) override {
        size_t lines = 0;
        const size_t begin = out->size();
        while (lines < maxLines && out->size() - begin < byteBudget && m_pos < m_text.size()) {
            const size_t nl = m_text.find('\n', m_pos);
            const size_t end = nl == std::string::npos ? m_text.size() : nl + 1;
            out->append(m_text, m_pos, end - m_pos);
            m_pos = end;
            ++lines;
        }
        return lines;
    }
    bool Exhausted() const override { return m_pos >= m_text.size(); }

  private:
    std::string m_text;
    size_t m_pos = 0;
};

std::string RenderDayBars(const CHistoryRequest& request, const CReplySettings& settings) {
    CSyntheticMarket market(request.symbol, settings.market);
    const int64_t today = DayOf(settings.now);
    const int64_t now = NowMicros(settings);
    std::vector<CDayBar> bars;
    for (int64_t day = today - settings.dailyDays; day <= today; ++day) {
        CDayBar bar;
        if (!market.DayBar(day, now, &bar)) {
            continue;
        }
        auto groupOf = [&](int64_t d) -> int64_t {
            if (request.kind == HistoryKind::kWeeklyBars) {
                return (d + 3 - (d + 3) % 7 - ((d + 3) % 7 < 0 ? 7 : 0)) / 7;  // Monday weeks
            }
            int y, m, dd;
            CivilFromDays(d, &y, &m, &dd);
            return static_cast<int64_t>(y) * 12 + m;
        };
        if (request.kind != HistoryKind::kDailyBars && !bars.empty() &&
            groupOf(bars.back().day) == groupOf(day)) {
            CDayBar& last = bars.back();
            last.day = day;
            last.highCents = std::max(last.highCents, bar.highCents);
            last.lowCents = std::min(last.lowCents, bar.lowCents);
            last.closeCents = bar.closeCents;
            last.volume += bar.volume;
        } else {
            bars.push_back(bar);
        }
    }
    size_t first = 0;
    if (request.maxPoints > 0 && static_cast<size_t>(request.maxPoints) < bars.size()) {
        first = bars.size() - static_cast<size_t>(request.maxPoints);
    }
    std::string text;
    text.reserve((bars.size() - first) * 64);
    char buffer[kMaxLineBytes];
    for (size_t i = first; i < bars.size(); ++i) {
        text.append(buffer, WriteDayBarLine(buffer, bars[i]));
    }
    return text;
}

// Exactly N lines for benchmarks: a cheap random walk ending at now, one
// second (ticks), one interval (bars) or one day, week or month apart.
class CForcedSource : public CReplySource {
  public:
    CForcedSource(const CHistoryRequest& request, const CReplySettings& settings)
        : m_kind(request.kind),
          m_total(settings.forcedLines),
          m_now(settings.now),
          m_seconds(request.intervalSeconds),
          m_seed(HashSymbol(request.symbol)),
          m_cents(CSyntheticMarket(request.symbol).PriceAt(settings.now)) {}

    size_t Produce(std::string* out, size_t byteBudget, size_t maxLines) override {
        const size_t begin = out->size();
        size_t lines = 0;
        char buffer[kMaxLineBytes];
        while (lines < maxLines && out->size() - begin < byteBudget && m_next < m_total) {
            const int64_t back = m_total - 1 - m_next;
            const uint64_t h = HashValues(m_seed, static_cast<uint64_t>(m_next), 3);
            const int64_t open = m_cents;
            m_cents = std::max<int64_t>(100, m_cents + static_cast<int64_t>(h % 5) - 2);
            const int64_t high = std::max(open, m_cents) + static_cast<int64_t>((h >> 8) % 3);
            const int64_t low =
                std::max<int64_t>(1, std::min(open, m_cents) - static_cast<int64_t>((h >> 10) % 3));
            const int64_t size = 100 * (1 + static_cast<int64_t>((h >> 12) % 5));
            m_volume += size;
            char* end = buffer;
            if (m_kind == HistoryKind::kTicks) {
                CTick tick;
                tick.time = m_now - back;
                tick.priceCents = m_cents;
                tick.size = static_cast<int32_t>(size);
                tick.bidCents = std::max<int64_t>(1, m_cents - 1);
                tick.askCents = m_cents + 1;
                tick.bidSize = tick.askSize = 500;
                tick.dayVolume = m_volume;
                tick.id = static_cast<uint32_t>(m_next + 1);
                tick.extended = !IsRegularSession(tick.time);
                end = WriteTickLine(buffer, tick);
            } else if (m_kind == HistoryKind::kIntervalBars) {
                const CivilSeconds last = m_now - SecondOfDay(m_now) % m_seconds;
                end = WriteIntervalBarLine(buffer, last - back * m_seconds, high, low, open,
                                           m_cents, m_volume, size, 1);
            } else {
                CDayBar bar;
                bar.day = DayOf(m_now) - back * (m_kind == HistoryKind::kWeeklyBars ? 7 : 1);
                if (m_kind == HistoryKind::kMonthlyBars) {
                    int y, m, d;
                    CivilFromDays(DayOf(m_now), &y, &m, &d);
                    const int64_t month = static_cast<int64_t>(y) * 12 + (m - 1) - back;
                    const int64_t yy = month >= 0 ? month / 12 : (month - 11) / 12;
                    bar.day = DaysFromCivil(static_cast<int>(yy),
                                            static_cast<int>(month - yy * 12) + 1, std::min(d, 28));
                }
                bar.openCents = open;
                bar.closeCents = m_cents;
                bar.highCents = high;
                bar.lowCents = low;
                bar.volume = size * 1000;
                end = WriteDayBarLine(buffer, bar);
            }
            out->append(buffer, end);
            ++m_next;
            ++lines;
        }
        return lines;
    }
    bool Exhausted() const override { return m_next >= m_total; }

  private:
    HistoryKind m_kind;
    int64_t m_total;
    CivilSeconds m_now;
    int m_seconds;
    uint64_t m_seed;
    int64_t m_cents;
    int64_t m_volume = 0;
    int64_t m_next = 0;
};

// Replays a file of reply lines (without or with CR) from the data directory.
// Lines of tick and interval files are checked against the request's window
// by their date field; lines whose date field cannot be read pass unchanged.
class CFileSource : public CReplySource {
  public:
    CFileSource(FILE* file, const CHistoryRequest& request, const CWindow& window)
        : m_file(file),
          m_checkWindow(request.kind == HistoryKind::kTicks ||
                        request.kind == HistoryKind::kIntervalBars),
          m_window(window) {}
    ~CFileSource() override {
        std::fclose(m_file);
        std::free(m_line);
    }

    size_t Produce(std::string* out, size_t byteBudget, size_t maxLines) override {
        const size_t begin = out->size();
        size_t lines = 0;
        while (!m_done && lines < maxLines && out->size() - begin < byteBudget) {
            ssize_t n = getline(&m_line, &m_capacity, m_file);
            if (n < 0) {
                m_done = true;
                break;
            }
            std::string_view line(m_line, static_cast<size_t>(n));
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
                line.remove_suffix(1);
            }
            if (line.empty() || line.front() == '#' || !Admits(line)) {
                continue;
            }
            out->append(line);
            out->append("\r\n");
            ++lines;
        }
        return lines;
    }
    bool Exhausted() const override { return m_done; }

  private:
    bool Admits(std::string_view line) const {
        if (!m_checkWindow) {
            return true;
        }
        std::string_view field = line.substr(0, line.find(','));
        if (field.find('-') == std::string_view::npos && field.size() < line.size()) {
            const std::string_view rest = line.substr(field.size() + 1);
            field = rest.substr(0, rest.find(','));
        }
        CTick tick;
        if (!ParseIsoDateTime(field, &tick.time)) {
            return true;
        }
        tick.micros = tick.time * kMicrosPerSecond;
        return m_window.Admits(tick);
    }

    FILE* m_file;
    bool m_checkWindow;
    CWindow m_window;
    char* m_line = nullptr;
    size_t m_capacity = 0;
    bool m_done = false;
};

}  // namespace

std::unique_ptr<CReplySource> MakeReplySource(const CHistoryRequest& request,
                                              const CReplySettings& settings) {
    const bool intraday =
        request.kind == HistoryKind::kTicks || request.kind == HistoryKind::kIntervalBars;
    const int depth = request.kind == HistoryKind::kTicks ? settings.tickDays : settings.barDays;
    const CWindow window = MakeWindow(request, settings, intraday ? depth : settings.dailyDays);
    if (!settings.dataDir.empty()) {
        std::string path = settings.dataDir + "/" + request.symbol + "." + request.command;
        if (request.kind == HistoryKind::kIntervalBars) {
            path += std::to_string(request.intervalSeconds);
        }
        if (FILE* file = std::fopen(path.c_str(), "rb")) {
            return std::make_unique<CFileSource>(file, request, window);
        }
    }
    if (settings.forcedLines > 0) {
        return std::make_unique<CForcedSource>(request, settings);
    }
    switch (request.kind) {
        case HistoryKind::kTicks:
            return std::make_unique<CTickSource>(request.symbol, settings.market, window);
        case HistoryKind::kIntervalBars:
            return std::make_unique<CIntervalSource>(request.symbol, settings.market, window,
                                                     request.intervalSeconds);
        default:
            return std::make_unique<CTextSource>(RenderDayBars(request, settings));
    }
}

}  // namespace feedsim
