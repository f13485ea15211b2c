// The level-one lines of one watched symbol. Summary (P) and update (Q)
// lines have 62 comma-separated fields and end with CR LF:
//   0 P or Q             1 symbol              2 market centre "7"
//   3 last price         4 change              6 day volume
//   7 last trade size    8 day high            9 day low
//  10 bid               11 ask                12 bid size
//  13 ask size          14 number of updates  17 time HH:MM:SS plus marker
//  19 day open          20 previous close     21 spread
//  30 date MM/DD/YYYY   32 last trade price   40 send time stamp
// The marker after the time of an update line is t for a trade in the
// regular session, T for an extended-hours trade and b for a quote change
// without a trade (synthetic streams only); summary lines carry the time without marker. The send
// time stamp is the caller's: the monotonic clock in microseconds when the line goes to the
// socket. Every other field is empty.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "feedsim/civil_time.h"
#include "feedsim/synthetic_market.h"

namespace feedsim {

inline constexpr int kLevelOneFields = 62;

class CLevelOneStream {
  public:
    // The symbol's stream from nowMicros on (microseconds of the feed's
    // clock). In one market its updates are the market's trades as the
    // clock passes them, the same trades the lookup port replies with. A
    // synthetic stream (for the maximum rate and numbered trades) instead
    // moves a walk of its own one step per update: a trade or a quote
    // change; with numberedTrades every update is a trade whose size is its
    // step number. Trades outside the regular session are marked extended
    // only when the shape has a session.
    CLevelOneStream(std::string_view symbol, CMarketShape shape, int64_t nowMicros,
                    bool synthetic = false, bool numberedTrades = false);

    const std::string& Symbol() const { return m_symbol; }

    // Appends the summary line: the day so far.
    void AppendSummary(std::string* out, CivilSeconds now, int64_t stampMicros) const;

    // Synthetic streams: moves one step and appends the update line.
    void AppendUpdate(std::string* out, CivilSeconds now, int64_t stampMicros);

    // One market: the exact time of the next trade not yet sent.
    int64_t NextTradeMicros() const;
    // Whether the next trade's time has come by nowMicros.
    bool TradeDue(int64_t nowMicros) const { return NextTradeMicros() <= nowMicros; }
    // Appends the next trade's update line, or passes it over unsent (a
    // client without room for it), and moves on to the trade after it.
    void AppendNextTrade(std::string* out, int64_t stampMicros);
    void SkipNextTrade() { TakeTrade(); }

    // The update line for a symbol the feed does not know: "Q,SYM,,Not Found".
    static void AppendNotFound(std::string* out, std::string_view symbol);

  private:
    void AppendLine(std::string* out, char type, CivilSeconds now, char marker,
                    int64_t stampMicros) const;
    void Requote(uint64_t h);
    // Moves to the first minute after the current one that has trades and
    // makes its first trade the next one.
    void NextMinute();
    // Walks the bar's trades on from *last (the market's BeforeMinute value):
    // returns how many lie at or before untilMicros; *last is then the last
    // of them (unchanged when none) and *coming the one after it, if any.
    int WalkMinute(const CMinuteBar& bar, int64_t untilMicros, CTick* last, CTick* coming) const;
    // The last price and size and the quote of a trade.
    void NoteLastTrade(const CTick& tick);
    // Takes the next trade into the day's values.
    const CTick& TakeTrade();
    void StartDay(int64_t day);

    std::string m_symbol;
    uint64_t m_seed;
    CSyntheticMarket m_market;
    bool m_synthetic;
    bool m_numberedTrades;
    uint64_t m_step = 0;
    int64_t m_lastCents = 0, m_lastSize = 100;
    int64_t m_openCents = 0, m_highCents = 0, m_lowCents = 0, m_previousCloseCents = 0;
    int64_t m_volume = 0;
    int64_t m_bidCents = 0, m_askCents = 0, m_bidSize = 0, m_askSize = 0;
    // One market: the day the values are of, whether its regular trading
    // began, the current minute and the next trade to send (its number in
    // the minute; none when it is the minute's count). Trades are made one
    // at a time as they are sent, so a stream holds no minute's worth.
    int64_t m_day = 0;
    bool m_dayOpened = false;
    CMinuteBar m_minute;
    int64_t m_volumeBefore = 0;  // the day's volume before the current minute
    uint32_t m_idBefore = 0;
    int m_index = 0;
    CTick m_coming;
    CTick m_taken;  // the trade taken last
};

}  // namespace feedsim
