// Reply sources for the lookup port. A source renders its reply lines lazily,
// a bounded batch at a time, so a reply of any length costs the server only
// the batch it is about to send.
//
// Reply line layouts (every line ends with CR LF):
//   tick:         YYYY-MM-DD HH:MM:SS,price,size,day volume,bid,ask,trade number,
//                 bid size,ask size,C or E,
//                 (E marks an extended-hours trade, C a regular one)
//   interval bar: YYYY-MM-DD HH:MM:SS,high,low,open,close,day volume,volume,trades,
//                 (the date-time is the bar's start)
//   day bar:      YYYY-MM-DD,high,low,open,close,volume,open interest,
//                 (weekly and monthly bars carry their last trading day)
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "feedsim/civil_time.h"
#include "feedsim/history_request.h"
#include "feedsim/synthetic_market.h"

namespace feedsim {

class CReplySource {
  public:
    virtual ~CReplySource() = default;
    // Appends whole lines to out until at least byteBudget bytes were added,
    // maxLines lines were added or the reply has no more lines. Returns the
    // number of lines added.
    virtual size_t Produce(std::string* out, size_t byteBudget, size_t maxLines) = 0;
    virtual bool Exhausted() const = 0;
};

struct CReplySettings {
    CivilSeconds now = 0;     // the history ends here
    int64_t nowMicros = 0;    // to the microsecond (0: the whole second now)
    CMarketShape market;      // the market the level-one port streams
    int tickDays = 10;        // depth of tick history, calendar days back from now
    int barDays = 365;        // depth of intraday bar history
    int dailyDays = 3650;     // depth of daily, weekly and monthly history
    int64_t forcedLines = 0;  // when above 0, every reply has exactly this many lines
    std::string dataDir;      // replay files are looked for here when not empty
};

// The source for a request whose symbol is known. Never null.
std::unique_ptr<CReplySource> MakeReplySource(const CHistoryRequest& request,
                                              const CReplySettings& settings);

// Line writers shared by the sources; each returns one past the last byte.
// buffer must hold kMaxLineBytes.
inline constexpr size_t kMaxLineBytes = 256;
char* WriteTickLine(char* p, const CTick& tick);
char* WriteIntervalBarLine(char* p, CivilSeconds start, int64_t high, int64_t low, int64_t open,
                           int64_t close, int64_t dayVolume, int64_t volume, int64_t trades);
char* WriteDayBarLine(char* p, const CDayBar& bar);

}  // namespace feedsim
