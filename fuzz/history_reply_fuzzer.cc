// The lookup reply parser fed in chunks cut at points the fuzzer chooses, for
// every request family, with streaming and extended trades on or off. Checks
// each row as the host receives it, and that the same text delivered as one
// chunk gives exactly the same calls (no row lost or repeated at a chunk
// boundary), and that lines with NUL bytes, over-long lines and values that
// are no finite numbers are skipped alike however the text is cut. Each line's
// fields, as the parser reads them (as text or converted while they are cut),
// are checked against a plain cut at every comma and ReadFiniteNumber, each
// line's date as read with the day of the line before against reading it
// alone, and each tick line the one-pass reader takes against the field
// reader's cut.
#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/sync.h"
#include "platform/text.h"
#include "plugin/boundary/feed_text.h"
#include "plugin/boundary/global_state.h"
#include "plugin/history/history_data.h"
#include "plugin/history/history_fields.h"
#include "plugin/history/history_parser.h"
#include "plugin/history/history_thread.h"
#include "plugin/levelone/level_one.h"
#include "plugin/levelone/level_one_data.h"
#include "plugin/levelone/symbol_info.h"
#include "tests/plugin/levelone/level_one_test_helper.h"

namespace orvella::fuzz {
namespace {

struct CRequest {
    const wchar_t* type;
    float interval;
    std::wstring symbol;
    double requestTime;
    uint16_t totalDays;
    int columns;  // per row
    float key;
};

int ColumnsOfRequest(const void* context, std::string_view symbol, float key) {
    const CRequest& request = *static_cast<const CRequest*>(context);
    if (symbol != platform::NarrowText(request.symbol) ||
        FloatBits(key) != FloatBits(request.key)) {
        return 0;
    }
    return request.columns;
}

struct CRunResult {
    std::string record;
    bool done = false;
    int32_t todayInHistory = -1;
    int32_t malformed = 0;
};

CRunResult Run(const CRequest& request, const std::vector<std::string>& chunks) {
    CCheckingHostFeed host(&ColumnsOfRequest, &request);
    CHostFeedInstall install(&host);
    if (CSymbolInfo* info = FindWatchedSymbol(request.symbol)) {
        info->m_bTodayInHistory = -1;
    }

    platform::CEvent event{false, false};
    CHistoryThread thread{&event};
    CHistoryData& data = thread.m_data;
    data.m_pThread = &thread;
    data.m_pCompletionEvent = &event;
    data.m_strRequestType = request.type;
    data.m_strSymbol = request.symbol;
    data.m_fInterval = request.interval;
    data.m_dtRequestTime = HostDate{request.requestTime, kDateValid};
    data.m_nTotalDays = request.totalDays;

    for (const std::string& chunk : chunks) {
        const bool wasDone = thread.m_bDone != 0;
        const size_t rowsBefore = host.RowCount();
        ProcessHistoryText(data, platform::WidenText(chunk));
        // Nothing reaches the host after the end of the reply.
        if (wasDone) {
            FUZZ_CHECK(host.RowCount() == rowsBefore);
        }
        // Rows are whole when the parser returns; the pending text is at
        // most one unfinished line.
        FUZZ_CHECK(!host.RowOpen());
        FUZZ_CHECK(data.m_strPending.find(L'\n') == std::wstring::npos);
        FUZZ_CHECK(data.m_strPending.size() <= kMaxFeedLineChars);
    }

    CRunResult result;
    result.done = thread.m_bDone != 0;
    if (result.done) {
        // The end of the reply reports 100 percent once, as its last call.
        FUZZ_CHECK(host.HundredCount() == 1);
        FUZZ_CHECK(host.LastPercent() == 100);
        FUZZ_CHECK(data.m_strPending.empty());
        FUZZ_CHECK(event.Wait(0));
    } else {
        FUZZ_CHECK(host.HundredCount() == 0);
    }
    if (CSymbolInfo* info = FindWatchedSymbol(request.symbol)) {
        result.todayInHistory = info->m_bTodayInHistory;
        FUZZ_CHECK(result.todayInHistory >= -1 && result.todayInHistory <= 1);
    }
    result.record = host.Record();
    result.malformed = data.m_nMalformedLines;
    return result;
}

bool SameBits(double a, double b) {
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

// A tick line taken by the one-pass reader (it ends at end) reads as the
// field reader cuts it and as its date field reads on its own, bit for bit;
// and it is a line the parser would hand to the tick reader.
void CheckUsualTickLine(std::wstring_view line, const wchar_t* end, const CTickFields& usual,
                        const CDateFieldParts& parts, const HostDate& when) {
    FUZZ_CHECK(end == line.data() + line.size());
    FUZZ_CHECK(line.size() <= kMaxFeedLineChars + 1);
    FUZZ_CHECK(line.find(L'\0') == std::wstring_view::npos &&
               line.find(L'!') == std::wstring_view::npos);
    FUZZ_CHECK(line[0] != L'E' && line[1] != L',');
    CTickFields cut;
    FUZZ_CHECK(CutTickLine(line, &cut));
    FUZZ_CHECK(cut.date == usual.date && cut.numbersRead && cut.dayVolumeRead &&
               usual.numbersRead && usual.dayVolumeRead && cut.extended == usual.extended);
    FUZZ_CHECK(
        SameBits(cut.price, usual.price) && SameBits(cut.size, usual.size) &&
        SameBits(cut.dayVolume, usual.dayVolume) && SameBits(cut.type2Price, usual.type2Price) &&
        SameBits(cut.type4Price, usual.type4Price) && SameBits(cut.type2Size, usual.type2Size) &&
        SameBits(cut.type4Size, usual.type4Size));
    CDateFieldParts alone;
    FUZZ_CHECK(ReadDateFieldParts(usual.date, true, &alone));
    FUZZ_CHECK(parts.year == alone.year && parts.month == alone.month && parts.day == alone.day &&
               parts.hour == alone.hour && parts.minute == alone.minute &&
               parts.second == alone.second);
    const HostDate reference =
        DateFromParts(alone.year, alone.month, alone.day, alone.hour, alone.minute, alone.second);
    FUZZ_CHECK(when.status == kDateValid && reference.status == kDateValid &&
               SameBits(when.value, reference.value));
}

// Every line of text (up to and including its line feed) is read field by
// field, as text and as numbers, and compared with cutting it at every comma
// (a run of commas is one separator) and converting each piece whole. Only
// the fields a reply line can use are compared, and only in lines short
// enough to be read, so that the check does not slow the fuzzing down. Text
// after the last line feed is no line yet and is left alone.
void CheckLineFields(std::wstring_view text) {
    constexpr int kFieldsUsed = 12;
    // Each line's first field is also read as a date with its time, the day
    // kept from line to line as the parser keeps it, and compared with
    // reading it on its own; and each line is offered to the one-pass tick
    // reader, with a day of its own kept likewise and the text that follows
    // the line in reach.
    CLineDay lineDay;
    CLineDay usualDay;
    // No line feed: npos + 1 is 0.
    const wchar_t* const linesEnd = text.data() + (text.rfind(L'\n') + 1);
    for (size_t newline = text.find(L'\n'); newline != std::wstring_view::npos;
         newline = text.find(L'\n')) {
        const std::wstring_view line = text.substr(0, newline + 1);
        text.remove_prefix(newline + 1);
        CTickFields usual;
        CDateFieldParts usualParts;
        HostDate usualWhen;
        if (const wchar_t* const end = ReadUsualTickLine(line.data(), linesEnd, &usualDay, &usual,
                                                         &usualParts, &usualWhen)) {
            CheckUsualTickLine(line, end, usual, usualParts, usualWhen);
        }
        if (line.size() > kMaxFeedLineChars + 1) {
            continue;
        }

        CFieldReader asText(line);
        CFieldReader asNumbers(line);
        std::wstring_view field;
        double value = 0;
        bool read = false;
        size_t from = 0;
        int compared = 0;
        while (from < line.size() && compared < kFieldsUsed) {
            size_t comma = line.find(L',', from);
            if (comma == std::wstring_view::npos) {
                comma = line.size();
            }
            const std::wstring_view piece = line.substr(from, comma - from);
            from = comma + 1;
            if (piece.empty()) {
                continue;
            }
            if (compared == 0) {
                CDateFieldParts parts;
                CDateFieldParts alone;
                HostDate when;
                const bool dateRead = lineDay.Read(piece, &parts, &when);
                FUZZ_CHECK(dateRead == ReadDateFieldParts(piece, true, &alone));
                if (dateRead) {
                    const HostDate reference = DateFromParts(
                        alone.year, alone.month, alone.day, alone.hour, alone.minute, alone.second);
                    FUZZ_CHECK(when.status == reference.status &&
                               SameBits(when.value, reference.value));
                }
            }
            ++compared;
            FUZZ_CHECK(asText.Next(&field) && field == piece);
            FUZZ_CHECK(asNumbers.NextNumber(&value, &read));
            double reference = 0;
            FUZZ_CHECK(read == ReadFiniteNumber(piece, &reference));
            FUZZ_CHECK(!read || SameBits(value, reference));
        }
        if (compared < kFieldsUsed) {
            FUZZ_CHECK(!asText.Next(&field) && field.empty());
            FUZZ_CHECK(!asNumbers.NextNumber(&value, &read) && !read);
        }
    }
}

void WatchOnce() {
    static bool watched = false;
    if (!watched) {
        watched = true;
        // No connection: the entry is made, the watch command never sent.
        CLevelOneTestHelper::ShortenWaits(LevelOne(), 0, 0);
        LevelOne().WatchSymbol(L"ABC", 1440.0f);
    }
}

}  // namespace
}  // namespace orvella::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    using namespace orvella;
    using namespace orvella::fuzz;
    WatchOnce();
    FuzzedDataProvider input(bytes, size);

    struct CFamily {
        const wchar_t* type;
        float intervals[2];
        bool tick;
    };
    static const CFamily kFamilies[] = {
        {L"HTT", {0.0f, 0.0f}, true},           {L"HIT", {5.0f, 0.5f}, false},
        {L"HDX", {1440.0f, 1440.0f}, false},    {L"HWX", {10080.0f, 10080.0f}, false},
        {L"HMX", {43200.0f, 302400.0f}, false}, {L"HTX", {0.0f, 0.0f}, true},
        {L"HIX", {60.0f, 1.0f}, false},
    };
    const CFamily& family = input.PickValueInArray(kFamilies);
    const bool streaming = input.ConsumeBool();
    const bool extended = input.ConsumeBool();
    CRequest request;
    request.type = family.type;
    request.interval = family.intervals[input.ConsumeBool() ? 1 : 0];
    request.symbol = input.ConsumeBool() ? L"ABC" : L"XYZ";
    request.totalDays = input.ConsumeIntegral<uint16_t>();
    request.requestTime = input.ConsumeIntegralInRange<int32_t>(-657434, 2958465) +
                          input.ConsumeIntegralInRange<int32_t>(0, 86399) / 86400.0;
    request.columns = family.tick ? 4 : (streaming ? 3 : 6);
    request.key = HistorySeriesKey(request.interval, streaming);

    Globals().streamingEnabled = streaming ? 1 : 0;
    Globals().extendedTradesEnabled = extended ? 1 : 0;

    const std::vector<std::string> chunks = TakeChunks(input);
    std::string whole;
    for (const std::string& chunk : chunks) {
        whole += chunk;
    }
    CheckLineFields(platform::WidenText(whole));
    const CRunResult split = Run(request, chunks);
    const CRunResult single = Run(request, {whole});
    FUZZ_CHECK(split.done == single.done);
    FUZZ_CHECK(split.todayInHistory == single.todayInHistory);
    FUZZ_CHECK(split.record == single.record);
    FUZZ_CHECK(split.malformed == single.malformed);
    return 0;
}
