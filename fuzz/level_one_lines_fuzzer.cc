// Level-one line assembly and dispatch with a populated watch list (ticks,
// intraday, daily and longer intervals), chunks cut at points the fuzzer
// chooses and the history-load flag switched on and off between chunks. The
// held lines' bound is small and chosen by the fuzzer: once it stops the
// reading, the next chunk waits until the load has ended and the held lines
// were released.
// Checks each row as the host receives it, and that the lines held back
// during a "load" give, once released, exactly the calls of an undisturbed
// run over the same text handed on as received bytes. A third run puts the
// row gate in front and replays chunks already charted as a gap fill, then
// the rest as held live lines: every row is handed on or counted as left
// out, and none handed on during the fill is older than its series had.
// The received bytes go through the bytes path twice: at once, and in the
// same chunks (some of them as wide text), each time with the calls of the
// wide text.
#include <fuzzer/FuzzedDataProvider.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/text.h"
#include "plugin/boundary/data_cache.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/row_gate.h"
#include "plugin/levelone/level_one_data.h"
#include "tests/plugin/levelone/data_cache_test_helper.h"
#include "tests/plugin/levelone/level_one_test_helper.h"

namespace orvella::fuzz {
namespace {

struct CWatch {
    const wchar_t* symbol;
    const char* bytes;
    float interval;
};

// The watch lists the fuzzer picks from (by a bit mask).
constexpr CWatch kWatches[] = {
    {L"ABC", "ABC", 0.0f},      {L"ABC", "ABC", 5.0f},     {L"ABC", "ABC", 1440.0f},
    {L"XYZ", "XYZ", 10080.0f},  {L"XYZ", "XYZ", 43200.0f}, {L"Q", "Q", 1.0f},
    {L"T.C", "T.C", 302400.0f}, {L"", "", 0.5f},
};

struct CWatchMask {
    uint8_t mask;
};

// A row may only go to a watched interval of its symbol, under the negated
// interval: 4 columns for ticks, 3 otherwise.
int ColumnsOfWatch(const void* context, std::string_view symbol, float key) {
    const CWatchMask& list = *static_cast<const CWatchMask*>(context);
    for (size_t i = 0; i < std::size(kWatches); ++i) {
        if ((list.mask & (1u << i)) != 0 && symbol == kWatches[i].bytes &&
            FloatBits(key) == FloatBits(-kWatches[i].interval)) {
            return kWatches[i].interval == 0.0f ? 4 : 3;
        }
    }
    return 0;
}

void Populate(CLevelOneData& data, const CWatchMask& list) {
    // No connection: the entries are made, no command is sent.
    CLevelOneTestHelper::ShortenWaits(data, 0, 0);
    for (size_t i = 0; i < std::size(kWatches); ++i) {
        if ((list.mask & (1u << i)) != 0) {
            data.WatchSymbol(kWatches[i].symbol, kWatches[i].interval);
        }
    }
}

void DrainHeldLines() {
    while (DataCache().Count() > 0) {
        DataCache().TakeFirst();
    }
}

// Between the level-one data and the gate, and between the gate and the
// checking host: counts the rows, and on the host's side checks that while a
// fill runs no row is older than its series' last one when the pass began.
class CRowCheck : public CHostFeed {
  public:
    explicit CRowCheck(CHostFeed* inner) : m_inner(inner) {}
    void RequireUserIDPassword() override {}
    void GetUserIDPassword(char**, char**) override {}
    void NSTSETUPDATA(const char*, const char*, float, int, const char*, double) override {}
    void NSTSETLABEL(const char*, float, int, const char*) override {}
    void NSTSETVALUE(const char* symbol, float interval, int column, double value) override {
        if (column == 1) {
            m_date = value;
        }
        m_inner->NSTSETVALUE(symbol, interval, column, value);
    }
    void NSTCOMMITROW(const char* symbol, float interval) override {
        CountRow(symbol, interval);
        m_inner->NSTCOMMITROW(symbol, interval);
    }
    // The series' note goes on, so that the gate takes the rows as from the
    // level-one data.
    void CommitRow(const char* symbol, float interval, CSeriesNote* note) override {
        CountRow(symbol, interval);
        m_inner->CommitRow(symbol, interval, note);
    }
    void UpdatePercent(int percent) override { m_inner->UpdatePercent(percent); }

    // From here on rows are checked against what each series has now.
    void StartPass() {
        m_floor = m_last;
        m_checking = true;
    }
    size_t Rows() const { return m_rows; }

  private:
    void CountRow(const char* symbol, float interval) {
        ++m_rows;
        const std::pair<std::string, uint32_t> key(symbol, FloatBits(interval));
        if (m_checking) {
            const auto floor = m_floor.find(key);
            FUZZ_CHECK(floor == m_floor.end() || m_date >= floor->second);
        }
        m_last[key] = m_date;
    }

    CHostFeed* m_inner;
    double m_date = 0.0;
    size_t m_rows = 0;
    bool m_checking = false;
    std::map<std::pair<std::string, uint32_t>, double> m_last, m_floor;
};

// Ends an unfinished last line, then a line with no trade and no known
// symbol releases the held lines.
constexpr wchar_t kRelease[] = L"\nQ\n";

// The plug-in's rows offered to a gate in front of a checking host, and the
// counts the checks compare.
struct CGateRun {
    explicit CGateRun(const CWatchMask* list)
        : checked(&ColumnsOfWatch, list), handed(&checked), offered(&gate), install(&offered) {
        gate.SetInner(&handed);
        gate.TrackRows(true);
    }
    // Nothing stays held or open, every row offered was handed on or left
    // out, and only rows offered from before on were left out.
    void Check(size_t before) {
        FUZZ_CHECK(gate.HeldRows() == 0);
        FUZZ_CHECK(!checked.RowOpen());
        FUZZ_CHECK(handed.Rows() + static_cast<size_t>(gate.DroppedRows()) == offered.Rows());
        FUZZ_CHECK(static_cast<size_t>(gate.DroppedRows()) <= offered.Rows() - before);
    }

    CCheckingHostFeed checked;
    CRowCheck handed;
    CRowGate gate;
    CRowCheck offered;
    CHostFeedInstall install;
};

// Hands chunks [begin, end) to the lines, then (when release) the release.
void FeedChunks(CLevelOneData& lines, const std::vector<std::string>& chunks, size_t begin,
                size_t end, bool release = true) {
    for (size_t i = begin; i < end; ++i) {
        lines.OnLevelOneData(platform::WidenText(chunks[i]));
    }
    if (release) {
        lines.OnLevelOneData(kRelease);
    }
}

}  // namespace
}  // namespace orvella::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    using namespace orvella;
    using namespace orvella::fuzz;
    FuzzedDataProvider input(bytes, size);
    CWatchMask list{input.ConsumeIntegral<uint8_t>()};
    CGlobalState& globals = Globals();
    globals.extendedTradesEnabled = input.ConsumeBool() ? 1 : 0;
    globals.tradeFilterOn = input.ConsumeBool() ? 1 : 0;
    globals.filterBeginHour = input.ConsumeIntegralInRange(0, 23);
    globals.filterBeginMinute = input.ConsumeIntegralInRange(0, 59);
    globals.filterEndHour = input.ConsumeIntegralInRange(0, 23);
    globals.filterEndMinute = input.ConsumeIntegralInRange(0, 59);
    globals.filterBeginSecond = 0;
    globals.filterEndSecond = 59;
    const uint32_t toggles = input.ConsumeIntegral<uint32_t>();
    const uint8_t fillAt = input.ConsumeIntegral<uint8_t>();
    const uint8_t fillFrom = input.ConsumeIntegral<uint8_t>();
    CDataCacheTestHelper::SetBound(DataCache(), input.ConsumeIntegralInRange<size_t>(64, 1 << 16));
    const std::vector<std::string> chunks = TakeChunks(input);

    // Chunks arrive while a history load runs and stops, as the bits say.
    std::string heldRecord;
    int64_t heldMalformed = 0;
    {
        DrainHeldLines();
        CCheckingHostFeed host(&ColumnsOfWatch, &list);
        CHostFeedInstall install(&host);
        CLevelOneData data;
        Populate(data, list);
        for (size_t i = 0; i < chunks.size(); ++i) {
            bool loading = (toggles >> (i % 32)) & 1u;
            if (CLevelOneTestHelper::ReadsHeld(data)) {
                // The reader stopped: this chunk is read once the load ends.
                loading = false;
                globals.historyInProgress = 0;
                data.ResumeReading();
                FUZZ_CHECK(!CLevelOneTestHelper::ReadsHeld(data));
            }
            globals.historyInProgress = loading ? 1 : 0;
            const size_t rowsBefore = host.RowCount();
            const size_t heldBefore = DataCache().HeldBytes();
            data.OnLevelOneData(platform::WidenText(chunks[i]));
            // Nothing reaches the host while a load runs.
            if (loading) {
                FUZZ_CHECK(host.RowCount() == rowsBefore);
            }
            FUZZ_CHECK(!host.RowOpen());
            // A store that grew to its bound has stopped the reading.
            const bool grewFull = DataCache().HeldBytes() > heldBefore && DataCache().Full();
            FUZZ_CHECK(!grewFull || CLevelOneTestHelper::ReadsHeld(data));
            FUZZ_CHECK(CLevelOneTestHelper::Pending(data).find(L'\n') == std::wstring::npos);
            FUZZ_CHECK(CLevelOneTestHelper::Pending(data).size() <= kMaxFeedLineChars);
        }
        globals.historyInProgress = 0;
        data.OnLevelOneData(kRelease);
        FUZZ_CHECK(DataCache().Count() == 0);
        FUZZ_CHECK(host.LastPercent() == -1);
        heldRecord = host.Record();
        heldMalformed = data.MalformedLineCount();
    }

    // The same text at once, nothing held back, as the socket hands it on
    // (bytes widened straight onto the pending text).
    std::string whole;
    for (const std::string& chunk : chunks) {
        whole += chunk;
    }
    CCheckingHostFeed host(&ColumnsOfWatch, &list);
    CHostFeedInstall install(&host);
    CLevelOneData data;
    Populate(data, list);
    data.OnLevelOneBytes(whole);
    data.OnLevelOneData(kRelease);
    FUZZ_CHECK(host.Record() == heldRecord);
    FUZZ_CHECK(data.MalformedLineCount() == heldMalformed);

    // The chunks as received bytes (update lines read where they lie, the
    // unfinished rest kept as bytes), some as wide text between them, as the
    // bits say: the same calls again.
    {
        CCheckingHostFeed chunked(&ColumnsOfWatch, &list);
        CHostFeedInstall installChunked(&chunked);
        CLevelOneData bytesData;
        Populate(bytesData, list);
        for (size_t i = 0; i < chunks.size(); ++i) {
            if ((toggles >> ((i + 16) % 32)) & 1u) {
                bytesData.OnLevelOneData(platform::WidenText(chunks[i]));
            } else {
                bytesData.OnLevelOneBytes(chunks[i]);
            }
            FUZZ_CHECK(!chunked.RowOpen());
            const std::wstring pending = CLevelOneTestHelper::Pending(bytesData);
            FUZZ_CHECK(pending.find(L'\n') == std::wstring::npos);
            FUZZ_CHECK(pending.size() <= kMaxFeedLineChars);
        }
        bytesData.OnLevelOneBytes("\nQ\n");
        FUZZ_CHECK(chunked.Record() == heldRecord);
        FUZZ_CHECK(bytesData.MalformedLineCount() == heldMalformed);
    }

    const size_t cut = chunks.empty() ? 0 : fillAt % (chunks.size() + 1);
    const size_t from = cut == 0 ? 0 : fillFrom % (cut + 1);

    // The gate: chunks up to fillAt charted live, then those from fillFrom
    // to fillAt again as a gap fill's history, then the rest as held lines.
    {
        CGateRun run(&list);
        CLevelOneData live;
        Populate(live, list);
        FeedChunks(live, chunks, 0, cut);
        const size_t before = run.offered.Rows();
        run.gate.SetFillingGap(true);
        run.handed.StartPass();
        CLevelOneData history;
        Populate(history, list);
        FeedChunks(history, chunks, from, cut);
        run.gate.StartHeldPass();
        run.handed.StartPass();
        FeedChunks(live, chunks, cut, chunks.size());
        run.gate.EndPass();
        run.gate.SetFillingGap(false);
        run.Check(before);
    }

    // The gate after charts' own loads: chunks up to fillAt are the loads'
    // history, then every watched series judges the held lines from
    // fillFrom on against it; halfway one chart is loaded again, which ends
    // its pass alone and begins a new one.
    {
        CGateRun run(&list);
        CLevelOneData live;
        Populate(live, list);
        FeedChunks(live, chunks, 0, cut);
        const size_t before = run.offered.Rows();
        for (const CWatch& watch : kWatches) {
            run.gate.StartLoadPass(watch.bytes, -watch.interval);
        }
        run.handed.StartPass();
        CLevelOneData held;
        Populate(held, list);
        const size_t reload = from + (chunks.size() - from) / 2;
        FeedChunks(held, chunks, from, reload, false);
        const CWatch& reloaded = kWatches[toggles % std::size(kWatches)];
        run.gate.EndLoadPass(reloaded.bytes, -reloaded.interval);
        run.gate.StartLoadPass(reloaded.bytes, -reloaded.interval);
        FeedChunks(held, chunks, reload, chunks.size());
        run.gate.EndLoadPasses();
        run.Check(before);
    }
    return 0;
}
