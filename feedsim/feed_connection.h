// What the stand-in feed's server keeps per connection, shared by its
// transport (feed_server.cc) and the files of its three protocols
// (feed_lookup.cc, feed_level_one.cc, feed_admin.cc). Private to them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "feedsim/feed_server.h"
#include "feedsim/history_reply.h"
#include "feedsim/level_one_stream.h"

namespace feedsim {

inline constexpr size_t kHighWater = 256 * 1024;  // unsent bytes above which nothing new is made
inline constexpr size_t kBatchBytes = 64 * 1024;
inline constexpr size_t kMaxInput = 64 * 1024;  // longest request or command line kept
inline constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
inline constexpr int64_t kStatusPeriodMicros = 1000000;

// NUL bytes, bytes that are no text, and an over-long line. No line starts
// with E, S, P or Q, has a comma second or contains the end line's marker.
std::string GarbageBlock(int longLineBytes);

struct CFeedServer::CConnection {
    int fd = -1;
    Port port = Port::kLookup;
    std::string in;
    std::string out;
    size_t outPos = 0;
    uint32_t events = 0;
    bool peerClosed = false;
    bool closeWhenFlushed = false;
    bool stopped = false;  // no more lines are made for it
    int64_t lines = 0;     // level one: lines sent in all

    // Admin.
    int64_t nextStatus = kNever;

    // Lookup.
    std::unique_ptr<CReplySource> reply;
    std::string request;
    int64_t replyLines = 0;
    bool garbageSent = false;
    int64_t nextByte = 0;

    // Level one.
    std::vector<CLevelOneStream> streams;
    size_t nextStream = 0;
    int64_t nextUpdate = kNever;
    // One market: every stream's next trade, soonest first (a heap), so a
    // wake-up costs the trades it sends, not a look at every symbol.
    struct CDue {
        int64_t micros;
        size_t stream;
        bool operator>(const CDue& o) const { return micros > o.micros; }
    };
    std::vector<CDue> due;

    size_t Pending() const { return out.size() - outPos; }
};

}  // namespace feedsim
