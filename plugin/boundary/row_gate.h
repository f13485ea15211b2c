// Between the plug-in and the host's feed library when the plug-in
// reconnects to the feed client: remembers, for each series, the date of the
// last row handed on and how many trades of that second it had, and while the
// gap after a lost level-one connection is filled hands the host only what the
// series lacks. History and held live lines bring whole seconds again, so a
// second already charted is recognised by its trade count: its first trades
// are left out as charted, the later ones pass. Held live lines are told from
// charted trades by their content, and two trades of one second with the same
// price and size by the day's volume the feed sends with each. So a chart gets
// every trade of the gap once and in order. Host thread only.
#pragma once

#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/key_index.h"
#include "plugin/boundary/host_feed.h"

namespace orvella {

class CRowGate : public CHostFeed {
  public:
    CRowGate();
    CRowGate(const CRowGate&) = delete;
    CRowGate& operator=(const CRowGate&) = delete;

    void SetInner(CHostFeed* inner) { m_pInner = inner; }

    // Remembers the last row of every series from now on.
    void TrackRows(bool track) { m_bTrack = track; }
    // The date (day count) of the last row handed to the series.
    bool LastRowDate(const std::string& symbol, float series, double* date) const;
    // While set, rows a series already has are dropped (each series is
    // judged against what it had when the setting was made, or when
    // StartPass was last called) and progress is not passed on (the host
    // asked for no load).
    void SetFillingGap(bool filling);
    // Judges the rows from here on against what each series has now, by
    // trade count in each series' last second.
    void StartPass();
    // As StartPass, for the held live lines after a fill's history: in each
    // series' last second the rows are held in the gate until a row of a
    // later second or EndPass, then the longest leading run of their trades
    // (price and size) that equals the last trades the series has of that
    // second is left out, each with the quote rows before it; the rest pass.
    void StartHeldPass();
    // Judges and hands on (or leaves out) every row the pass still holds, and
    // ends the passes StartLoadPass began.
    void EndPass();
    // Judges and hands on now the rows the pass holds for one series: a
    // removed chart's rows do not wait in the gate (another chart of the
    // same series may still want them).
    void ReleaseHeldRows(const std::string& symbol, float series);
    // Rows held in the gate for judging.
    long HeldRows() const { return m_nHeld; }

    // The day's volume after the trade whose rows come next, as the feed
    // sent it with the trade; 0 when unknown. Two trades of one second with
    // the same price and size differ in it.
    void NoteTradeVolume(double dayVolume) { m_dayVolume = dayVolume; }

    // After a tick series' own history load: the watch went out before the
    // history request, so the live lines held meanwhile (and any already on
    // their way) may be in the history too. The series' next rows are judged
    // against what it has now as in StartHeldPass, until EndLoadPasses.
    void StartLoadPass(const std::string& symbol, float series);
    // Ends the passes StartLoadPass began, handing on what they hold: after
    // the first live line once the load is over, and before a gap fill.
    void EndLoadPasses() {
        // After every live line: nearly always there are none.
        if (m_nLoadPasses != 0) {
            EndLoadPassesNow();
        }
    }
    // Ends the series' pass alone: before a load of that series. The passes
    // of charts loaded before it go on, as their held lines are not handed
    // on before the last load's end.
    void EndLoadPass(const std::string& symbol, float series);

    // The series' last rows are the bars of its own history load, not
    // trades: a fill from the last bar's start leaves out trades up to that
    // bar's volume (the trades the bar already holds) instead of counting.
    void NoteBarHistory(const std::string& symbol, float series);

    // A series whose gap is not filled yet: its rows are dropped (the next
    // fill brings them) except those of its own fill.
    void SetWaiting(const std::string& symbol, float series, bool waiting);
    bool Waiting(const std::string& symbol, float series) const;

    // What one series' fill handed on: the rows, the first and last of their
    // dates (0 when none), and the rows it left out as already charted.
    struct CFillCount {
        long handed = 0;
        long leftOut = 0;
        double first = 0.0;
        double last = 0.0;
    };
    // The rows from here on are the series' fill; the count starts at zero.
    void BeginSeriesFill(const std::string& symbol, float series);
    // Ends the series' fill: it waits no more. Returns what was handed on.
    CFillCount EndSeriesFill();
    // Ends the series' fill that failed: it still waits (its live rows are
    // dropped until a later fill brings them).
    void AbandonSeriesFill();

    // Rows left out as already charted since SetFillingGap(true).
    long DroppedRows() const { return m_nDropped; }

    void RequireUserIDPassword() override { m_pInner->RequireUserIDPassword(); }
    void GetUserIDPassword(char** userId, char** password) override {
        m_pInner->GetUserIDPassword(userId, password);
    }
    void NSTSETUPDATA(const char* symbol, const char* description, float interval, int columns,
                      const char* category, double startDate) override {
        m_pInner->NSTSETUPDATA(symbol, description, interval, columns, category, startDate);
    }
    void NSTSETLABEL(const char* symbol, float interval, int column, const char* label) override {
        m_pInner->NSTSETLABEL(symbol, interval, column, label);
    }
    void NSTSETVALUE(const char* symbol, float interval, int column, double value) override;
    void NSTCOMMITROW(const char* symbol, float interval) override;
    // The note refers to the gate's entry of the series (entries stay for
    // the gate's life), so a row with a note needs no lookup.
    void CommitRow(const char* symbol, float interval, CSeriesNote* note) override;
    void UpdatePercent(int percent) override;

  private:
    using CSeriesKey = std::pair<std::string, float>;
    // Columns a row may carry (the widest layout has six).
    static constexpr int kMaxColumns = 8;
    using CValues = std::array<double, kMaxColumns + 1>;
    struct CTrade {
        double price;
        double size;
        // The day's volume after it, 0 when unknown (then only price and
        // size are compared).
        double volume;
        bool operator==(const CTrade& o) const {
            return price == o.price && size == o.size &&
                   (volume == o.volume || volume == 0.0 || o.volume == 0.0);
        }
    };
    struct CHeldRow {
        CValues values;
        int columns;
        // The series as the row named it (a tick series' zero has a sign).
        float interval;
        bool trade;
        double volume;
    };
    enum class CVerdict { kDrop, kPass, kHold };
    struct CSeries {
        // What every row handed on updates comes first, in one cache line
        // with the tests every row makes.
        double last = -1.0;
        // Trades handed on with the date last.
        long tradesAtLast = 0;
        // The size column of the last row, and the volume a fill leaves out
        // as already charted in the last history bar.
        double lastSize = 0.0;
        double barVolume = 0.0;
        // The price, size and day's volume of those trades.
        std::vector<CTrade> lastTrades;
        bool waiting = false;
        bool loadPass = false;
        bool byContent = false;
        bool cutJudged = false;
        // What the series had when the pass began, and the trades of that
        // second met in the pass so far.
        unsigned pass = 0;
        double cut = -1.0;
        long cutTrades = 0;
        long seenAtCut = 0;
        double volumeToSkip = 0.0;
        // In a held pass the rows of the cut second waiting to be judged
        // (judged once).
        std::vector<CHeldRow> held;
        const CSeriesKey* key = nullptr;
    };

    void EndLoadPassesNow();
    CSeries* SeriesOf(const char* symbol, float series);
    void Commit(const char* symbol, float interval, CSeriesNote* note);
    // What becomes of the row being set, judged at its commit.
    CVerdict Judge(CSeries& series, bool trade);
    void Remember(CSeries& series, const CValues& row, bool trade, double volume);
    void HandOn(const char* symbol, float interval, CSeries& series, const CValues& row,
                int columns, bool trade, double volume);
    // Leaves out the held rows that repeat the series' last trades, hands on
    // the rest.
    void JudgeHeld(CSeries& series);

    CHostFeed* m_pInner = nullptr;
    // Tells this gate's series notes from another's.
    uint64_t m_nNoteOwner;
    bool m_bTrack = false;
    bool m_bFillingGap = false;
    unsigned m_nPass = 0;
    bool m_bHeldPass = false;
    long m_nHeld = 0;
    int m_nLoadPasses = 0;
    // The matching's table of the held trades (kept for its capacity).
    std::vector<CTrade> m_heldTrades;
    std::vector<std::size_t> m_border;
    std::map<CSeriesKey, CSeries> m_series;
    // The same entries by symbol and series, for every row: a lookup in the
    // ordered map costs a string compare per level, one here touches a slot
    // however many series there are. Long keys refer to the map's own (map
    // entries do not move).
    platform::CKeyIndex<char, CSeries> m_seriesIndex;
    // The row being set: its columns wait for the commit.
    CValues m_row{};
    int m_nColumns = 0;
    double m_dayVolume = 0.0;
    long m_nDropped = 0;
    CSeries* m_pFilled = nullptr;
    CFillCount m_fill;
};

// The gate the shipped plug-in puts in front of the host's library.
CRowGate& RowGate();

// Notes the day's volume of one feed line's trade for the rows sent while it
// lives.
class CTradeVolumeNote {
  public:
    explicit CTradeVolumeNote(double dayVolume) : m_gate(RowGate()) {
        m_gate.NoteTradeVolume(dayVolume);
    }
    ~CTradeVolumeNote() { m_gate.NoteTradeVolume(0.0); }
    CTradeVolumeNote(const CTradeVolumeNote&) = delete;
    CTradeVolumeNote& operator=(const CTradeVolumeNote&) = delete;

  private:
    CRowGate& m_gate;
};

}  // namespace orvella
