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
// without a trade; summary lines carry the time without marker. The send time
// stamp is the monotonic clock in microseconds when the line was made.
// Every other field is empty.
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
    // Starts the symbol's day at the synthetic market's state at now. With
    // numberedTrades every update is a trade whose size is its step number.
    // With session trades outside the regular session are marked extended;
    // without it every trade is a regular one, so a feed tried at night
    // streams.
    CLevelOneStream(std::string_view symbol, CivilSeconds now, bool numberedTrades = false,
                    bool session = false);

    const std::string& Symbol() const { return m_symbol; }

    // Appends the summary line.
    void AppendSummary(std::string* out, CivilSeconds now, int64_t stampMicros) const;
    // Moves the market one step (a trade or a quote change, drawn from the
    // symbol's own sequence) and appends the update line.
    void AppendUpdate(std::string* out, CivilSeconds now, int64_t stampMicros);

    // The update line for a symbol the feed does not know: "Q,SYM,,Not Found".
    static void AppendNotFound(std::string* out, std::string_view symbol);

  private:
    void AppendLine(std::string* out, char type, CivilSeconds now, char marker,
                    int64_t stampMicros) const;
    void Requote(uint64_t h);

    std::string m_symbol;
    uint64_t m_seed;
    bool m_numberedTrades;
    bool m_session;
    uint64_t m_step = 0;
    int64_t m_lastCents, m_lastSize = 100;
    int64_t m_openCents, m_highCents, m_lowCents, m_previousCloseCents;
    int64_t m_volume;
    int64_t m_bidCents = 0, m_askCents = 0, m_bidSize = 0, m_askSize = 0;
};

}  // namespace feedsim
