// Invariant checks shared by the fuzz targets: a failed check prints what
// broke and aborts, so libFuzzer keeps the input as a crash.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/boundary/feed_text.h"
#include "plugin/boundary/host_feed.h"

namespace orvella::fuzz {

[[noreturn]] void CheckFailed(const char* file, int line, const char* what);

#define FUZZ_CHECK(condition)                                             \
    do {                                                                  \
        if (!(condition)) {                                               \
            ::orvella::fuzz::CheckFailed(__FILE__, __LINE__, #condition); \
        }                                                                 \
    } while (0)

// The day counts a valid host date can take: 1 January 100 to
// 31 December 9999 23:59:59.
inline bool IsValidDayCount(double value) {
    return std::isfinite(value) && value >= -657434.0 && value < 2958466.0;
}

inline uint32_t FloatBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// A host library that checks every row as it is built and keeps a compact
// record of the calls, so that two runs can be compared.
class CCheckingHostFeed : public CHostFeed {
  public:
    // Columns a series must have in every row, or 0 when the series must get
    // no rows at all. Set by the target before the run.
    using ColumnsOf = int (*)(const void* context, std::string_view symbol, float key);

    CCheckingHostFeed(ColumnsOf columnsOf, const void* context)
        : m_columnsOf(columnsOf), m_context(context) {}

    void RequireUserIDPassword() override {}
    void GetUserIDPassword(char**, char**) override {}
    void NSTSETUPDATA(const char*, const char*, float, int, const char*, double) override;
    void NSTSETLABEL(const char*, float, int, const char*) override;
    void NSTSETVALUE(const char* symbol, float interval, int column, double value) override;
    void NSTCOMMITROW(const char* symbol, float interval) override;
    void UpdatePercent(int percent) override;

    // The calls in order, each as one line.
    const std::string& Record() const { return m_record; }
    size_t RowCount() const { return m_rows; }
    bool RowOpen() const { return m_column != 0; }
    int LastPercent() const { return m_lastPercent; }
    int HundredCount() const { return m_hundreds; }

  private:
    ColumnsOf m_columnsOf;
    const void* m_context;
    std::string m_record;
    std::string m_rowSymbol;
    uint32_t m_rowKey = 0;
    int m_column = 0;
    size_t m_rows = 0;
    int m_lastPercent = -1;
    int m_hundreds = 0;
};

// Installs a host feed for one run and removes it afterwards.
class CHostFeedInstall {
  public:
    explicit CHostFeedInstall(CHostFeed* feed) { SetHostFeed(feed); }
    ~CHostFeedInstall() { SetHostFeed(nullptr); }
};

// The rest of the input as received chunks: the fuzzer chooses each length
// (from the end of the input) and the bytes (from its front). NUL bytes stay:
// a socket read is bounded by its count, not by a NUL. A chunk that starts
// with two 0xFF bytes, a length byte b and a pattern is stretched to the
// pattern repeated up to kMaxFeedLineChars - 8 + b % 16 bytes, so that lines
// around the bound on a line's length are tried too.
inline std::vector<std::string> TakeChunks(FuzzedDataProvider& input) {
    std::vector<std::string> chunks;
    while (input.remaining_bytes() > 0) {
        const size_t length = input.ConsumeIntegralInRange<size_t>(1, 256);
        std::string chunk = input.ConsumeBytesAsString(length);
        if (chunk.size() > 3 && chunk.compare(0, 2, "\xff\xff") == 0) {
            const std::string pattern = chunk.substr(3);
            const size_t stretched =
                kMaxFeedLineChars - 8 + static_cast<unsigned char>(chunk[2]) % 16;
            chunk.clear();
            while (chunk.size() < stretched) {
                chunk.append(pattern, 0, std::min(pattern.size(), stretched - chunk.size()));
            }
        }
        chunks.push_back(std::move(chunk));
    }
    return chunks;
}

}  // namespace orvella::fuzz
