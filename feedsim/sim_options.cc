#include "feedsim/sim_options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "cli/option_parser.h"

namespace feedsim {

namespace {

bool ToInt(const std::string& text, int64_t low, int64_t high, int64_t* out) {
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
    return ec == std::errc() && ptr == text.data() + text.size() && *out >= low && *out <= high;
}

bool ToSeconds(const std::string& text, double* out) {
    char* end = nullptr;
    *out = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(*out) && *out >= 0;
}

}  // namespace

const char* SimUsage() {
    return R"(Usage: orvella-feed-sim [OPTION VALUE]... [FLAG]...

Stand-in for the Orvella feed client: serves synthetic market data on
127.0.0.1 on three ports until it gets SIGTERM or SIGINT. Its history holds
the trades its level-one port streams (one market, see feedsim/README.md).

Ports (0 picks a free port; the ready file tells which):
  --lookup-port N        history lookups (default: LookupPort of the startup
                         registry key, else 9100)
  --level1-port N        level-one streaming (default: Level1Port, else 5009)
  --admin-port N         admin status lines (default 9300)

Behaviour:
  --login-delay SEC      report "Not Connected" for SEC seconds after start,
                         then "Connected" (default 0.5)
  --listen-delay SEC     listen on no port for SEC seconds after start
  --login U, --product P, --product-version V
                         shown in the admin status lines
  --update-rate HZ|max   the market's trades per second per symbol, streamed
                         as they happen and held by the history (default 4;
                         0 streams none; max streams a walk of its own as
                         fast as the client reads)
  --max-symbols N        watches per connection (default 500)
  --session              trade Monday to Friday 04:00-20:00 and mark trades
                         outside 09:30-16:00 as extended (without it the
                         market trades regular trades at any hour)
  --numbered-trades      every update is a trade whose size is its number in
                         the symbol's sequence (1, 2, ...), a walk of its own
  --history-lines N      every history reply has exactly N lines (benchmarks)
  --tick-days N          depth of tick history in days (default 10)
  --bar-days N           depth of intraday bar history in days (default 365)
  --daily-days N         depth of daily/weekly/monthly history (default 3650)
  --now "YYYY-MM-DD HH:MM:SS"
                         start the feed's clock at this time instead of the
                         local time (it runs on from there)
  --data-dir DIR         replay history from DIR/SYMBOL.HTT, SYMBOL.HIT<secs>,
                         SYMBOL.HDX, SYMBOL.HWX, SYMBOL.HMX when present

Running:
  --log FILE             log what was served to FILE ("-" standard error,
                         the default; "none" no log)
  --ready-file PATH      write the ports to PATH once listening
  --pid-file PATH        write the process id to PATH; removed at exit
  --ready-fd N           write "ready" to file descriptor N once listening

Faults:
  --fault-lookup-close-after N   close a lookup connection after N reply lines
  --fault-no-end-line            never send the end line of a lookup reply
  --fault-lookup-silent          take lookup requests and never answer them
  --fault-one-byte               send lookup replies one byte per write
  --fault-byte-gap-us N          pause between those bytes (default 200)
  --fault-garbage                insert NUL bytes, garbage and an over-long line
                                 into lookup replies and level-one streams
  --fault-long-line N            length of that over-long line (default 70000)
  --fault-no-cust                withhold the customer-information line
  --fault-never-connected        never report "Connected" on the admin port
  --fault-admin-close            close admin connections at once
  --fault-level1-close-after N   close a level-one connection after N lines
  --no-listen lookup|level1|admin
                                 do not listen on that port (connections are
                                 refused); may be repeated

Signals: SIGUSR1 closes every level-one connection and stops listening on
the level-one port (connects are refused); SIGUSR2 listens there again.
  --lookup-lag SEC       SIGUSR1 drops the lookup port too, and it listens
                         again SEC seconds after SIGUSR2 restored level one

  --help                 this text
  --version              the program's version
)";
}

bool ParseSimOptions(const std::vector<std::string>& args, CSimOptions* out, std::string* error) {
    CSimOptions& o = *out;
    using Setter = orvella::cli::COptionParser::Setter;
    auto port = [](int* target) {
        return Setter([target](const std::string& v) {
            int64_t n;
            if (!ToInt(v, 0, 65535, &n)) {
                return false;
            }
            *target = static_cast<int>(n);
            return true;
        });
    };
    auto count = [](auto* target, int64_t low, int64_t high) {
        return Setter([target, low, high](const std::string& v) {
            int64_t n;
            if (!ToInt(v, low, high, &n)) {
                return false;
            }
            *target = static_cast<std::remove_pointer_t<decltype(target)>>(n);
            return true;
        });
    };
    auto text = [](std::string* target) {
        return Setter([target](const std::string& v) {
            *target = v;
            return true;
        });
    };
    const std::pair<const char*, Setter> valued[] = {
        {"--lookup-port", port(&o.lookupPort)},
        {"--level1-port", port(&o.level1Port)},
        {"--admin-port", port(&o.adminPort)},
        {"--login-delay",
         [&o](const std::string& v) { return ToSeconds(v, &o.loginDelaySeconds); }},
        {"--lookup-lag", [&o](const std::string& v) { return ToSeconds(v, &o.lookupLagSeconds); }},
        {"--listen-delay",
         [&o](const std::string& v) { return ToSeconds(v, &o.listenDelaySeconds); }},
        {"--login", text(&o.login)},
        {"--product", text(&o.product)},
        {"--product-version", text(&o.productVersion)},
        {"--update-rate",
         [&o](const std::string& v) {
             o.fastest = v == "max";
             return o.fastest || ToSeconds(v, &o.updateRate);
         }},
        {"--max-symbols", count(&o.maxSymbols, 1, 1000000)},
        {"--history-lines", count(&o.historyLines, 1, int64_t{1} << 40)},
        {"--tick-days", count(&o.tickDays, 0, 100000)},
        {"--bar-days", count(&o.barDays, 0, 100000)},
        {"--daily-days", count(&o.dailyDays, 0, 100000)},
        {"--now", [&o](const std::string& v) { return o.fixedNow = ParseIsoDateTime(v, &o.now); }},
        {"--data-dir", text(&o.dataDir)},
        {"--log", text(&o.logPath)},
        {"--ready-file", text(&o.readyFile)},
        {"--pid-file", text(&o.pidFile)},
        {"--ready-fd", count(&o.readyFd, 0, 1 << 20)},
        {"--fault-lookup-close-after", count(&o.lookupCloseAfter, 0, int64_t{1} << 40)},
        {"--fault-byte-gap-us", count(&o.byteGapMicros, 0, 10000000)},
        {"--fault-long-line", count(&o.longLineBytes, 1, 64 << 20)},
        {"--fault-level1-close-after", count(&o.level1CloseAfter, 0, int64_t{1} << 40)},
        {"--no-listen",
         [&o](const std::string& v) {
             bool* target = v == "lookup"   ? &o.listenLookup
                            : v == "level1" ? &o.listenLevel1
                            : v == "admin"  ? &o.listenAdmin
                                            : nullptr;
             if (target != nullptr) {
                 *target = false;
             }
             return target != nullptr;
         }},
    };
    const std::pair<const char*, bool*> flags[] = {
        {"--numbered-trades", &o.numberedTrades},
        {"--session", &o.session},
        {"--fault-no-end-line", &o.noEndLine},
        {"--fault-lookup-silent", &o.lookupSilent},
        {"--fault-one-byte", &o.oneByte},
        {"--fault-garbage", &o.garbage},
        {"--fault-no-cust", &o.noCustomerInfo},
        {"--fault-never-connected", &o.neverConnected},
        {"--fault-admin-close", &o.adminClose},
        {"--help", &o.help},
        {"--version", &o.version},
    };
    orvella::cli::COptionParser parser;
    for (const auto& [name, set] : valued) {
        parser.Value({name}, set);
    }
    for (const auto& [name, target] : flags) {
        parser.Flag({name}, target);
    }
    orvella::cli::COptionFault fault;
    if (parser.Parse(args, &fault)) {
        return true;
    }
    switch (fault.kind) {
        case orvella::cli::COptionFault::kUnknownOption:
            *error = "unknown option '" + fault.option + "' (see --help)";
            break;
        case orvella::cli::COptionFault::kMissingValue:
            *error = "option " + fault.option + " needs a value";
            break;
        default:
            *error = "bad value '" + fault.value + "' for " + fault.option;
            break;
    }
    return false;
}

}  // namespace feedsim
