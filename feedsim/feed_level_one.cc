// The level-one port: watch and unwatch commands, the one market's trades as
// they fall due, and the synthetic walks of the maximum rate and numbered
// trades.
#include <algorithm>
#include <functional>
#include <string>
#include <string_view>

#include "feedsim/feed_connection.h"
#include "feedsim/synthetic_market.h"

namespace feedsim {

bool CFeedServer::AppendLevelOneLine(CConnection* c) {
    if (c->stopped) {
        return false;
    }
    ++c->lines;
    if (m_options.level1CloseAfter >= 0 && c->lines >= m_options.level1CloseAfter) {
        m_log->Write("level1 connection %d: closing after %lld lines (fault)", c->fd,
                     static_cast<long long>(c->lines));
        c->stopped = c->closeWhenFlushed = true;
    }
    return true;
}

void CFeedServer::HandleLevelOneLine(CConnection* c, std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.empty()) {
        return;
    }
    const std::string symbol(line.substr(1));
    const int64_t now = MonotonicMicros();
    auto found = std::find_if(c->streams.begin(), c->streams.end(),
                              [&](const CLevelOneStream& s) { return s.Symbol() == symbol; });
    if (line[0] == 'w') {
        m_log->Write("level1 connection %d: watch %s", c->fd, symbol.c_str());
        if (!IsKnownSymbol(symbol)) {
            if (AppendLevelOneLine(c)) {
                CLevelOneStream::AppendNotFound(&c->out, symbol);
            }
            return;
        }
        if (found == c->streams.end()) {
            if (c->streams.size() >= static_cast<size_t>(m_options.maxSymbols)) {
                if (AppendLevelOneLine(c)) {
                    c->out += "S,SYMBOL LIMIT REACHED," + symbol + "\r\n";
                }
                return;
            }
            c->streams.emplace_back(symbol, m_replySettings.market, m_clock.NowMicros(),
                                    !OneMarket(), m_options.numberedTrades);
            found = c->streams.end() - 1;
            if (OneMarket()) {
                c->due.push_back({found->NextTradeMicros(), c->streams.size() - 1});
                std::push_heap(c->due.begin(), c->due.end(), std::greater<>());
            }
        }
        if (AppendLevelOneLine(c)) {
            found->AppendSummary(&c->out, m_clock.Now(), now);
        }
        if (OneMarket() && m_options.updateRate > 0) {
            ScheduleTrades(c);
        } else if (!m_options.fastest && m_options.updateRate > 0 && c->nextUpdate == kNever) {
            c->nextUpdate = now + static_cast<int64_t>(1e6 / m_options.updateRate);
        }
    } else if (line[0] == 'r') {
        m_log->Write("level1 connection %d: unwatch %s", c->fd, symbol.c_str());
        if (found != c->streams.end()) {
            c->streams.erase(found);
            if (OneMarket()) {
                RebuildDue(c);
            }
        }
        if (c->streams.empty()) {
            c->nextUpdate = kNever;
        } else if (OneMarket() && m_options.updateRate > 0) {
            ScheduleTrades(c);
        }
    } else {
        m_log->Write("level1 connection %d: ignored command %.*s", c->fd,
                     static_cast<int>(std::min<size_t>(line.size(), 80)), line.data());
    }
}

void CFeedServer::RebuildDue(CConnection* c) {
    c->due.clear();
    for (size_t i = 0; i < c->streams.size(); ++i) {
        c->due.push_back({c->streams[i].NextTradeMicros(), i});
    }
    std::make_heap(c->due.begin(), c->due.end(), std::greater<>());
}

void CFeedServer::ScheduleTrades(CConnection* c) {
    const int64_t next = c->due.empty() ? kNever : c->due.front().micros;
    const int64_t monotonic = MonotonicMicros();
    const int64_t wait =
        next == kNever ? 60 * kMicrosPerSecond : std::max<int64_t>(0, next - m_clock.NowMicros());
    c->nextUpdate = monotonic + std::min(wait, 60 * kMicrosPerSecond);
}

void CFeedServer::ProduceTrades(CConnection* c) {
    const int64_t now = m_clock.NowMicros();
    // The lines are made here and handed to the socket right after (Service
    // flushes them), so this is their send stamp.
    const int64_t stamp = MonotonicMicros();
    while (!c->due.empty() && c->due.front().micros <= now) {
        std::pop_heap(c->due.begin(), c->due.end(), std::greater<>());
        CConnection::CDue& next = c->due.back();
        CLevelOneStream& stream = c->streams[next.stream];
        // A client that does not read misses these trades.
        if (c->Pending() < kHighWater && AppendLevelOneLine(c)) {
            stream.AppendNextTrade(&c->out, stamp);
        } else if (!c->stopped) {
            stream.SkipNextTrade();
        }
        next.micros = stream.NextTradeMicros();
        std::push_heap(c->due.begin(), c->due.end(), std::greater<>());
        if (c->stopped) {
            return;
        }
    }
}

void CFeedServer::ProduceLevelOne(CConnection* c, bool timed) {
    const int64_t stamp = MonotonicMicros();
    const CivilSeconds now = m_clock.Now();
    if (timed) {
        for (CLevelOneStream& stream : c->streams) {
            if (c->Pending() >= kHighWater || !AppendLevelOneLine(c)) {
                return;  // a client that does not read misses these updates
            }
            stream.AppendUpdate(&c->out, now, stamp);
        }
        return;
    }
    const size_t begin = c->out.size();
    while (!c->streams.empty() && c->Pending() < kHighWater &&
           c->out.size() - begin < kBatchBytes && AppendLevelOneLine(c)) {
        c->streams[c->nextStream++ % c->streams.size()].AppendUpdate(&c->out, now,
                                                                     MonotonicMicros());
    }
}

}  // namespace feedsim
