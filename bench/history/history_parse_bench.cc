// Reply parsing throughput: ProcessHistoryText on an in-memory tick reply fed
// in 128 KiB chunks into a host library that only counts, beside a baseline
// that only splits the same bytes into lines and fields and converts the
// numbers. Prints both rates, their ratio per round and over the rounds' best
// times, and the target; exits non-zero when the ratio misses the target.
//
//   history_parse_bench [lines [rounds]]     (default 1000000 lines, 5 rounds)
#include "bench/history/history_parse_bench.h"

#include <stdlib.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "cli/command_line.h"
#include "platform/text.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/host_feed.h"
#include "plugin/history/history_parser.h"
#include "plugin/history/history_thread.h"

namespace {

constexpr size_t kChunkBytes = 128 * 1024;
// The parser's rate as a share of the baseline's that it must reach.
constexpr double kTargetRatio = 0.8;

class CCountingHost : public orvella::CHostFeed {
  public:
    void RequireUserIDPassword() override {}
    void GetUserIDPassword(char**, char**) override {}
    void NSTSETUPDATA(const char*, const char*, float, int, const char*, double) override {}
    void NSTSETLABEL(const char*, float, int, const char*) override {}
    void NSTSETVALUE(const char*, float, int, double value) override {
        ++values;
        sum += value;
    }
    void NSTCOMMITROW(const char*, float) override { ++rows; }
    void UpdatePercent(int percent) override { lastPercent = percent; }

    long long values = 0;
    long long rows = 0;
    double sum = 0;
    int lastPercent = -1;
};

// A tick reply: lines over 30 days, the quotes changing every few lines.
std::string MakeTickReply(long lines) {
    std::string reply;
    reply.reserve(static_cast<size_t>(lines) * 80 + 16);
    char line[160];
    for (long i = 0; i < lines; ++i) {
        const long second = i % 86400;
        const int day = 1 + static_cast<int>(i * 30 / lines);
        const int n = std::snprintf(
            line, sizeof line,
            "2011-08-%02d "
            "%02ld:%02ld:%02ld,%ld.%02ld,%ld,%ld,%ld.%02ld,%ld.%02ld,%ld,%ld,%ld,C\r\n",
            day, second / 3600, second / 60 % 60, second % 60, 12 + i % 7, i % 100, 100 + i % 900,
            5000 + i, 12 + i / 3 % 7, i / 3 % 100, 13 + i / 5 % 7, i / 5 % 100, i, 300 + i / 4 % 50,
            200 + i / 6 % 50);
        reply.append(line, static_cast<size_t>(n));
    }
    reply += "!ENDMSG!\r\n";
    return reply;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Baseline: lines, comma-separated fields, every numeric field converted.
long long Baseline(std::string_view reply, double* checksum) {
    long long lines = 0;
    double sum = 0;
    size_t start = 0;
    for (size_t nl = reply.find('\n'); nl != std::string_view::npos;
         start = nl + 1, nl = reply.find('\n', start)) {
        const std::string_view line = reply.substr(start, nl - start);
        ++lines;
        size_t from = 0;
        int field = 0;
        while (from <= line.size()) {
            size_t to = line.find(',', from);
            if (to == std::string_view::npos) {
                to = line.size();
            }
            if (field > 0) {
                double value = 0;
                std::from_chars(line.data() + from, line.data() + to, value);
                sum += value;
            }
            ++field;
            from = to + 1;
        }
    }
    *checksum = sum;
    return lines;
}

long long Parser(std::string_view reply, CCountingHost* host) {
    orvella::SetHostFeed(host);
    platform::CEvent event(false, false);
    orvella::CHistoryThread thread(&event);
    orvella::CHistoryData& data = thread.m_data;
    data.m_pThread = &thread;
    data.m_pCompletionEvent = &event;
    data.m_strRequestType = L"HTT";
    data.m_strSymbol = L"ABC";
    data.m_dtRequestTime = orvella::HostDate{40756.0 + 30.5, orvella::kDateValid};
    data.m_nTotalDays = 31;
    // As ReadAvailable does: each chunk widened into the chunk text in place.
    std::wstring chunk;
    chunk.reserve(kChunkBytes);
    for (size_t from = 0; from < reply.size(); from += kChunkBytes) {
        const std::string_view bytes = reply.substr(from, kChunkBytes);
        chunk.resize(bytes.size());
        chunk.resize(platform::WidenInto(bytes, chunk.data()));
        orvella::ProcessHistoryText(data, chunk);
    }
    orvella::SetHostFeed(nullptr);
    return host->rows;
}

}  // namespace

constexpr char kUsage[] =
    "Usage: history_parse_bench [LINES [ROUNDS]]\n"
    "Times the history parser on a generated tick reply of LINES lines (default\n"
    "1000000) against a bare line split, best of ROUNDS (default 5, at least 3)\n"
    "alternating rounds. Exit status 0 when the target is met.\n";

int RunHistoryParseBench(int argc, char** argv) {
    const orvella::cli::CProgram program{"history_parse_bench", kUsage};
    if (const int code = orvella::cli::AnswerNumberOperands(program, argc, argv); code >= 0)
        return code;
    const long lines = argc > 1 ? std::atol(argv[1]) : 1000000;
    const int rounds = std::max(3, argc > 2 ? std::atoi(argv[2]) : 5);
    const std::string reply = MakeTickReply(lines);

    // Alternating runs, so that a noisy machine hurts both sides alike; the
    // verdict takes each side's best time, the per-round ratios show the
    // spread.
    double checksum = 0;
    long long baselineLines = 0;
    long long rows = 0;
    double baselineSeconds = 1e9;
    double parserSeconds = 1e9;
    double lowestRatio = 1e9;
    double highestRatio = 0;
    CCountingHost host;
    for (int round = 0; round < rounds; ++round) {
        auto begin = std::chrono::steady_clock::now();
        baselineLines = Baseline(reply, &checksum);
        const double baseline = Seconds(begin);

        host = CCountingHost();
        begin = std::chrono::steady_clock::now();
        rows = Parser(reply, &host);
        const double parser = Seconds(begin);

        const double ratio = (lines / parser) / (baselineLines / baseline);
        std::printf("round %d: baseline %.3f s, ProcessHistoryText %.3f s, ratio %.2fx\n",
                    round + 1, baseline, parser, ratio);
        baselineSeconds = std::min(baselineSeconds, baseline);
        parserSeconds = std::min(parserSeconds, parser);
        lowestRatio = std::min(lowestRatio, ratio);
        highestRatio = std::max(highestRatio, ratio);
    }

    const double baselineRate = baselineLines / baselineSeconds;
    const double parserRate = lines / parserSeconds;
    const double ratio = parserRate / baselineRate;
    std::printf("reply: %ld tick lines, %zu bytes, %zu-byte chunks\n", lines, reply.size(),
                kChunkBytes);
    std::printf("baseline (split + from_chars): %.3f s, %.0f lines/s (checksum %.0f)\n",
                baselineSeconds, baselineRate, checksum);
    std::printf("ProcessHistoryText:            %.3f s, %.0f lines/s (%lld rows, last %d%%)\n",
                parserSeconds, parserRate, rows, host.lastPercent);
    std::printf("ratio: %.2fx the baseline's rate (best times of %d rounds; rounds %.2f-%.2fx)\n",
                ratio, rounds, lowestRatio, highestRatio);
    const bool met = ratio >= kTargetRatio;
    std::printf("target: at least %.2fx: %s\n", kTargetRatio, met ? "met" : "MISSED");
    return host.lastPercent == 100 && met ? 0 : 1;
}
