// The boundary's pure rules: column layouts and the series key, the column
// name split, the trade-time filter, the admin status line and the row gate
// of a reconnect's gap fill.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/boundary/exports/admin_login.h"
#include "plugin/boundary/exports/column_layout.h"
#include "plugin/boundary/feed_text.h"
#include "plugin/boundary/global_state.h"
#include "plugin/boundary/row_gate.h"
#include "plugin/boundary/trade_filter.h"
#include "tests/plugin/boundary/boundary_test_support.h"

namespace orvella {
namespace {

TEST(ColumnNames, SplitInPlaceAtEveryComma) {
    struct Case {
        const char* names;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"Date,Open,High,Low,Close,Volume", {"Date", "Open", "High", "Low", "Close", "Volume"}},
        {"Date,,Close", {"Date", "", "Close"}},
        {",Close", {"", "Close"}},
        {"Close,", {"Close"}},
        {"Close,,", {"Close", ""}},
        {",", {""}},
        {"", {}},
        {"One", {"One"}},
    };
    for (const Case& c : cases) {
        std::vector<char> buffer(c.names, c.names + std::strlen(c.names) + 1);
        const std::vector<const char*> names = SplitColumnNames(buffer.data());
        std::vector<std::string> got(names.begin(), names.end());
        EXPECT_EQ(got, c.expected) << '"' << c.names << '"';
        for (const char& ch : buffer) {
            EXPECT_NE(ch, ',') << "a comma was left in " << c.names;
        }
    }
    EXPECT_TRUE(SplitColumnNames(nullptr).empty());
}

TEST(SeriesKey, NegatedInStreamingLayoutsAndForTicks) {
    struct Case {
        bool streaming;
        float interval;
        float key;
        LayoutStyle style;
    };
    const Case cases[] = {
        {true, 5.0f, -5.0f, LayoutStyle::kStreaming},
        {true, 1440.0f, -1440.0f, LayoutStyle::kStreaming},
        {false, 5.0f, 5.0f, LayoutStyle::kHistory},
        {false, 43200.0f, 43200.0f, LayoutStyle::kHistory},
        {true, 0.0f, -0.0f, LayoutStyle::kTickStreaming},
        {false, 0.0f, -0.0f, LayoutStyle::kTickStreaming},
    };
    for (const Case& c : cases) {
        const float key = SeriesKey(c.streaming, c.interval);
        EXPECT_EQ(key, c.key) << c.streaming << ' ' << c.interval;
        EXPECT_EQ(std::signbit(key), std::signbit(c.key)) << c.streaming << ' ' << c.interval;
        EXPECT_EQ(ChooseLayout(c.streaming, c.interval), c.style);
    }
}

TEST(AnnounceSeries, EachStyleAnnouncesItsColumns) {
    struct Case {
        LayoutStyle style;
        float interval;
        const char* names;
        float key;
        std::vector<std::string> labels;
    };
    const Case cases[] = {
        {LayoutStyle::kStreaming, 5.0f, "A,B", -5.0f, {"Date/Time", "Close", "Volume"}},
        {LayoutStyle::kTickStreaming,
         0.0f,
         "A,B",
         -0.0f,
         {"Date/Time", "TickPrice", "TickVol", "TickType"}},
        {LayoutStyle::kHistory,
         5.0f,
         "Date,Open,High,Low,Close,Volume",
         5.0f,
         {"Date", "Open", "High", "Low", "Close", "Volume"}},
        {LayoutStyle::kHistory, 1440.0f, "Date,,Close", 1440.0f, {"Date", "", "Close"}},
        {LayoutStyle::kHistory, 1440.0f, "", 1440.0f, {}},
    };
    for (const Case& c : cases) {
        testing::CRecordingHostFeed host;
        std::vector<char> names(c.names, c.names + std::strlen(c.names) + 1);
        AnnounceSeries(host, c.style, "ABC", "Abc Corp", "Stocks", 40000.5, c.interval,
                       names.data());
        ASSERT_EQ(host.calls.size(), c.labels.size() + 1) << c.names;
        const testing::CHostCall& setup = host.calls[0];
        EXPECT_EQ(setup.op, "NSTSETUPDATA");
        EXPECT_EQ(setup.symbol, "ABC");
        EXPECT_EQ(setup.text, "Abc Corp");
        EXPECT_EQ(setup.column, static_cast<int>(c.labels.size()));
        EXPECT_EQ(setup.value, 40000.5);
        for (size_t i = 0; i < host.calls.size(); ++i) {
            EXPECT_EQ(host.calls[i].interval, c.key);
            EXPECT_EQ(std::signbit(host.calls[i].interval), std::signbit(c.key));
        }
        for (size_t i = 0; i < c.labels.size(); ++i) {
            const testing::CHostCall& label = host.calls[i + 1];
            EXPECT_EQ(label.op, "NSTSETLABEL");
            EXPECT_EQ(label.column, static_cast<int>(i + 1));
            EXPECT_EQ(label.text, c.labels[i]);
        }
    }
}

TEST(TradeFilter, OnOnlyWhenBothEndsDifferFromTheWholeDay) {
    struct Case {
        const wchar_t* begin;
        const wchar_t* end;
        int on;
        int bh, bm, bs, eh, em, es;
    };
    const Case cases[] = {
        {L"000000", L"235959", 0, 0, 0, 0, 23, 59, 59},
        {L"093000", L"160000", 1, 9, 30, 0, 16, 0, 0},
        {L"093000", L"235959", 0, 9, 30, 0, 23, 59, 59},
        {L"000000", L"160000", 0, 0, 0, 0, 16, 0, 0},
        {L"0930", L"16", 1, 9, 30, 0, 16, 0, 0},
        {L"", L"", 1, 0, 0, 0, 0, 0, 0},
        {L"9a3x05", L" 7-1+2", 1, 9, 3, 5, 7, -1, 2},
    };
    for (const Case& c : cases) {
        CGlobalState state;
        state.beginFilterText = c.begin;
        state.endFilterText = c.end;
        ApplyTradeFilter(state);
        EXPECT_EQ(state.tradeFilterOn, c.on) << c.begin << ' ' << c.end;
        EXPECT_EQ(std::vector<int>({state.filterBeginHour, state.filterBeginMinute,
                                    state.filterBeginSecond, state.filterEndHour,
                                    state.filterEndMinute, state.filterEndSecond}),
                  std::vector<int>({c.bh, c.bm, c.bs, c.eh, c.em, c.es}))
            << c.begin << ' ' << c.end;
    }
}

// Builds a status line of count non-empty fields with state as the 13th.
std::wstring StatusLine(int count, const std::wstring& state) {
    std::wstring line;
    for (int i = 1; i <= count; ++i) {
        if (i > 1) {
            line += L',';
        }
        line += i == 13 ? state : L"f" + std::to_wstring(i);
    }
    return line;
}

TEST(AdminStatusLine, TwentyOneFieldsWithConnectedThirteenth) {
    struct Case {
        std::wstring line;
        bool connected;
    };
    std::wstring withGaps = StatusLine(21, L"Connected");
    withGaps.insert(0, L",,");
    withGaps.insert(withGaps.find(L"f5"), L",,,");
    const Case cases[] = {
        {StatusLine(21, L"Connected"), true},
        {StatusLine(30, L"Connected"), true},
        {StatusLine(20, L"Connected"), false},
        {StatusLine(21, L"connected"), false},
        {StatusLine(21, L"Connected "), false},
        {StatusLine(21, L"Not Connected"), false},
        {withGaps, true},
        {StatusLine(21, L"Connected") + L",,,", true},
        {L"", false},
        {L",,,,", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsConnectedStatusLine(c.line), c.connected)
            << std::string(c.line.begin(), c.line.end());
    }
    // An empty 13th field is skipped: the line has 20 fields and the 13th
    // is the next one.
    EXPECT_FALSE(IsConnectedStatusLine(StatusLine(21, L"")));
}

TEST(AdminStatusReader, JudgesOnlyCompleteLines) {
    const std::wstring wide = StatusLine(21, L"Connected");
    const std::string line(wide.begin(), wide.end());
    const std::wstring wideOther = StatusLine(21, L"Disconnected");
    const std::string other(wideOther.begin(), wideOther.end());
    const std::string tooLong(kMaxFeedLineChars + 1, 'x');
    struct Case {
        const char* name;
        std::vector<std::string> chunks;
        std::vector<bool> results;
        int overLong = 0;
    };
    const Case cases[] = {
        {"whole line", {line + "\n"}, {true}},
        {"no line feed yet", {line}, {false}},
        {"split across receives", {line.substr(0, 30), line.substr(30) + "\n"}, {false, true}},
        {"line feed alone later", {line, "\n"}, {false, true}},
        {"other lines first", {"\n\n" + other + "\n" + line + "\n"}, {true}},
        {"later chunk after non-matching", {other + "\n", line + "\r\n"}, {false, true}},
        {"empty lines", {"\n", "\n\n"}, {false, false}},
        // A line past the bound is dropped; the next line is judged as usual.
        {"over-long line, then the status", {tooLong + "\n" + line + "\n"}, {true}, 1},
        {"over-long line growing over receives",
         {tooLong.substr(0, 40000), tooLong.substr(40000), tooLong, line + "\n" + line + "\n"},
         {false, false, false, true},
         1},
        {"status line glued to over-long text",
         {tooLong, line + "\n", line + "\n"},
         {false, false, true},
         1},
        {"longest line taken",
         {std::string(kMaxFeedLineChars, ','), "\n" + line + "\n"},
         {false, true}},
    };
    for (const Case& c : cases) {
        CAdminStatusReader reader;
        for (size_t i = 0; i < c.chunks.size(); ++i) {
            EXPECT_EQ(reader.Append(c.chunks[i]), c.results[i]) << c.name << " chunk " << i;
        }
        EXPECT_EQ(reader.OverLongLines(), c.overLong) << c.name;
    }
}

// Rows pass the gate as they come; while a gap is filled only rows newer than
// what their own series had when the fill began do (a second trade in the
// same second is a trade of its own), and progress stays with the gate.
TEST(RowGate, HandsOnOnlyNewerRowsWhileAGapIsFilled) {
    struct Row {
        float series;
        double date;
        bool filling;
        bool handedOn;
    };
    const Row rows[] = {
        {-5.0f, 10.0, false, true}, {-5.0f, 20.0, false, true}, {-0.0f, 15.0, false, true},
        {-5.0f, 20.0, true, false}, {-5.0f, 19.0, true, false}, {-5.0f, 25.0, true, true},
        {-0.0f, 14.0, true, false}, {-0.0f, 16.0, true, true},  {-5.0f, 25.0, true, true},
        {-5.0f, 5.0, false, true},
    };
    testing::CRecordingHostFeed host;
    CRowGate gate;
    gate.SetInner(&host);
    gate.TrackRows(true);
    int handedOn = 0;
    for (const Row& row : rows) {
        gate.SetFillingGap(row.filling);
        gate.NSTSETVALUE("ABC", row.series, 1, row.date);
        gate.NSTSETVALUE("ABC", row.series, 2, 1.5);
        gate.NSTCOMMITROW("ABC", row.series);
        gate.UpdatePercent(50);
        handedOn += row.handedOn ? 1 : 0;
        EXPECT_EQ(host.Count("NSTCOMMITROW"), handedOn) << row.series << " " << row.date;
        EXPECT_EQ(host.Count("NSTSETVALUE"), 2 * handedOn);
    }
    EXPECT_EQ(host.Count("UpdatePercent"), 4);
    EXPECT_EQ(gate.DroppedRows(), 3);
    double last = 0.0;
    ASSERT_TRUE(gate.LastRowDate("ABC", -0.0f, &last));
    EXPECT_EQ(last, 16.0);
    ASSERT_TRUE(gate.LastRowDate("ABC", -5.0f, &last));
    EXPECT_EQ(last, 5.0);
    EXPECT_FALSE(gate.LastRowDate("XYZ", -5.0f, &last));
}

// Each of many series, some with names longer than a lookup slot holds, is
// judged against its own last row, whether its rows come by name or with a
// note of the series (a note another gate made is not taken); a tick series is
// one series under either sign of its zero.
TEST(RowGate, JudgesEachOfManySeriesByItsOwnLastRow) {
    testing::CRecordingHostFeed host;
    CRowGate gate;
    gate.SetInner(&host);
    gate.TrackRows(true);
    CRowGate other;
    other.SetInner(&host);
    other.TrackRows(true);
    constexpr int kSymbols = 300;
    struct CSeriesRows {
        std::string symbol;
        CHostFeed::CSeriesNote bars, ticks;
    };
    std::vector<CSeriesRows> series(kSymbols);
    for (int i = 0; i < kSymbols; ++i) {
        series[i].symbol =
            (i % 3 == 0 ? std::string(50, 'L') : std::string("S")) + std::to_string(i);
    }
    // Odd series come with notes, which the other gate makes first.
    const auto send = [](CRowGate& to, const CSeriesRows& rows, float key, double date,
                         CHostFeed::CSeriesNote* note) {
        to.NSTSETVALUE(rows.symbol.c_str(), key, 1, date);
        to.NSTSETVALUE(rows.symbol.c_str(), key, 2, 1.5);
        if (note != nullptr) {
            to.CommitRow(rows.symbol.c_str(), key, note);
        } else {
            to.NSTCOMMITROW(rows.symbol.c_str(), key);
        }
    };
    const auto notes = [&](int i, CHostFeed::CSeriesNote* note) {
        return i % 2 == 1 ? note : nullptr;
    };
    for (int i = 0; i < kSymbols; ++i) {
        CSeriesRows& rows = series[i];
        if (i % 2 == 1) {
            send(other, rows, -5.0f, 1.0, &rows.bars);
            send(other, rows, -0.0f, 1.0, &rows.ticks);
        }
        send(gate, rows, -5.0f, 100.0 + i, notes(i, &rows.bars));
        send(gate, rows, -0.0f, 1000.0 + i, notes(i, &rows.ticks));
    }
    const int offered = host.Count("NSTCOMMITROW");
    gate.SetFillingGap(true);
    for (int i = 0; i < kSymbols; ++i) {
        CSeriesRows& rows = series[i];
        send(gate, rows, -5.0f, 99.5 + i, notes(i, &rows.bars));
        send(gate, rows, 0.0f, 999.5 + i, notes(i, &rows.ticks));
        send(gate, rows, -5.0f, 100.5 + i, notes(i, &rows.bars));
        send(gate, rows, 0.0f, 1000.5 + i, notes(i, &rows.ticks));
    }
    gate.SetFillingGap(false);
    EXPECT_EQ(gate.DroppedRows(), 2 * kSymbols);
    EXPECT_EQ(host.Count("NSTCOMMITROW") - offered, 2 * kSymbols);
    for (const CSeriesRows& rows : series) {
        const int i = static_cast<int>(&rows - series.data());
        double last = 0.0;
        ASSERT_TRUE(gate.LastRowDate(rows.symbol, -5.0f, &last)) << rows.symbol;
        EXPECT_EQ(last, 100.5 + i);
        ASSERT_TRUE(gate.LastRowDate(rows.symbol, -0.0f, &last)) << rows.symbol;
        EXPECT_EQ(last, 1000.5 + i);
        ASSERT_TRUE(other.LastRowDate(rows.symbol, -5.0f, &last) == (i % 2 == 1)) << rows.symbol;
    }
}

// A gap fill against what a series had charted: the history brings whole
// seconds again, the held live lines the end of the fill's last second on;
// each trade (told by its size here) reaches the host once and in order, and
// the fill's count says so.
TEST(RowGate, FillHandsOnEveryTradeOfTheGapOnce) {
    struct Row {
        double date;
        double size;
        double type;  // 0 trade, 2 and 4 quotes; bar series carry no type
        // The day's volume the feed sent with the trade, 0 for none.
        double dayVolume = 0;
    };
    struct Case {
        const char* name;
        float series;
        std::vector<Row> charted, fill, held;
        std::vector<double> handed;  // sizes after the charted rows
        long leftOut;
        // The charted rows are the series' history bar.
        bool barHistory = false;
    };
    const Case cases[] = {
        {"ticks: the last second's second trade came in the gap",
         -0.0f,
         {{10, 1, 0}, {11, 2, 0}},
         {{11, 2, 0}, {11, 3, 0}, {12, 4, 0}},
         {{12, 4, 0}, {13, 5, 0}},
         {3, 4, 5},
         1},
        {"ticks: a quote change passes with the trade it comes before",
         -0.0f,
         {{11, 30, 4}, {11, 2, 0}},
         {{11, 30, 4}, {11, 2, 0}, {11, 31, 4}, {11, 3, 0}},
         {},
         {31, 3},
         2},
        {"5-minute: the open bar's trades after the last one",
         -5.0f,
         {{20, 1, 0}, {20, 2, 0}, {21, 3, 0}},
         {{20, 1, 0}, {20, 2, 0}, {21, 3, 0}, {21, 4, 0}, {22, 5, 0}},
         {{22, 5, 0}, {22, 6, 0}},
         {4, 5, 6},
         3},
        {"5-minute: the last rows are the loaded bar, whose volume is left out",
         -5.0f,
         {{40, 0, 0}, {40, 0, 0}, {40, 0, 0}, {40, 300, 0}},
         {{40, 100, 0}, {41, 200, 0}, {42, 50, 0}, {42, 60, 0}},
         {},
         {50, 60},
         2,
         true},
        {"daily: nothing came in the gap",
         -1440.0f,
         {{30, 1, 0}},
         {{30, 1, 0}},
         {{31, 2, 0}},
         {2},
         1},
        {"1-minute: the live stream after the watch starts mid-second",
         -1.0f,
         {{14, 88, 0}},
         {{14, 88, 0}, {15, 89, 0}, {15, 90, 0}, {15, 91, 0}},
         {{15, 90, 0}, {15, 91, 0}, {15, 92, 0}, {15, 93, 0}, {16, 94, 0}},
         {89, 90, 91, 92, 93, 94},
         1},
        {"1-minute: the watch began after the history's last trade",
         -1.0f,
         {{14, 88, 0}},
         {{14, 88, 0}, {15, 89, 0}},
         {{15, 90, 0}, {16, 91, 0}},
         {89, 90, 91},
         1},
        {"1-minute: repeated trades, the longest run the chart ends with is left out",
         -1.0f,
         {{14, 1, 0}},
         {{15, 5, 0}, {15, 5, 0}, {15, 5, 0}},
         {{15, 5, 0}, {15, 5, 0}, {15, 7, 0}},
         {5, 5, 5, 7},
         0},
        {"1-minute: more repeated trades held than charted",
         -1.0f,
         {{15, 5, 0}},
         {{15, 5, 0}, {15, 5, 0}},
         {{15, 5, 0}, {15, 5, 0}, {15, 5, 0}},
         {5, 5},
         1},
        {"ticks: quotes go with the trade they come before, the pass ends holding rows",
         -0.0f,
         {{14, 1, 0}},
         {{14, 1, 0}, {15, 30, 4}, {15, 2, 0}, {15, 31, 4}, {15, 3, 0}, {15, 4, 0}},
         {{15, 31, 4}, {15, 3, 0}, {15, 4, 0}, {15, 32, 2}, {15, 5, 0}, {15, 33, 4}},
         {30, 2, 31, 3, 4, 32, 5, 33},
         1},
        {"ticks: the day's volume tells a held trade from the charted one like it",
         -0.0f,
         {{14, 1, 0, 50}},
         {{15, 5, 0, 100}, {15, 5, 0, 105}},
         {{15, 5, 0, 110}, {15, 7, 0, 117}},
         {5, 5, 5, 7},
         0},
        {"1-minute: by the day's volume only the trade both have is left out",
         -1.0f,
         {{14, 1, 0, 50}},
         {{15, 5, 0, 100}, {15, 5, 0, 105}},
         {{15, 5, 0, 105}, {15, 5, 0, 110}, {15, 7, 0, 117}},
         {5, 5, 5, 7},
         0},
    };
    for (const Case& c : cases) {
        testing::CRecordingHostFeed host;
        CRowGate gate;
        gate.SetInner(&host);
        gate.TrackRows(true);
        const bool ticks = c.series == 0.0f;
        const auto send = [&](const Row& row) {
            gate.NoteTradeVolume(row.dayVolume);
            gate.NSTSETVALUE("ABC", c.series, 1, row.date);
            gate.NSTSETVALUE("ABC", c.series, 2, 1.5);
            gate.NSTSETVALUE("ABC", c.series, 3, row.size);
            if (ticks) {
                gate.NSTSETVALUE("ABC", c.series, 4, row.type);
            }
            gate.NSTCOMMITROW("ABC", c.series);
        };
        for (const Row& row : c.charted) {
            send(row);
        }
        if (c.barHistory) {
            gate.NoteBarHistory("ABC", c.series);
        }
        const size_t before = host.calls.size();
        gate.SetFillingGap(true);
        gate.SetWaiting("ABC", c.series, true);
        // Another series waiting for its own fill gets no live row meanwhile.
        gate.SetWaiting("XYZ", c.series, true);
        gate.BeginSeriesFill("ABC", c.series);
        for (const Row& row : c.fill) {
            send(row);
        }
        const CRowGate::CFillCount fill = gate.EndSeriesFill();
        gate.StartHeldPass();
        for (const Row& row : c.held) {
            send(row);
        }
        gate.NSTSETVALUE("XYZ", c.series, 1, 40.0);
        gate.NSTCOMMITROW("XYZ", c.series);
        gate.EndPass();
        EXPECT_EQ(gate.HeldRows(), 0) << c.name;
        gate.SetFillingGap(false);

        std::vector<double> handed;
        for (size_t i = before; i < host.calls.size(); ++i) {
            if (host.calls[i].op == "NSTSETVALUE" && host.calls[i].column == 3) {
                handed.push_back(host.calls[i].value);
            }
            EXPECT_NE(host.calls[i].symbol, "XYZ") << c.name;
        }
        EXPECT_EQ(handed, c.handed) << c.name;
        EXPECT_EQ(fill.leftOut, c.leftOut) << c.name;
        EXPECT_EQ(gate.DroppedRows(),
                  static_cast<long>(c.fill.size() + c.held.size() - c.handed.size()))
            << c.name;
    }
}

// A fill the lookup port refused: the series goes on waiting, so the live
// rows held meanwhile are left for the next attempt, which fills from the
// series' last charted row (not from the first of those live rows).
TEST(RowGate, FailedFillLeavesItsSeriesWaiting) {
    testing::CRecordingHostFeed host;
    CRowGate gate;
    gate.SetInner(&host);
    gate.TrackRows(true);
    const auto send = [&](double date) {
        gate.NSTSETVALUE("ABC", -1440.0f, 1, date);
        gate.NSTSETVALUE("ABC", -1440.0f, 3, 100.0);
        gate.NSTCOMMITROW("ABC", -1440.0f);
    };
    send(10.0);
    gate.SetFillingGap(true);
    gate.SetWaiting("ABC", -1440.0f, true);
    gate.BeginSeriesFill("ABC", -1440.0f);
    gate.AbandonSeriesFill();
    EXPECT_EQ(gate.EndSeriesFill().handed, 0);
    gate.StartHeldPass();
    send(20.0);
    gate.EndPass();
    gate.SetFillingGap(false);
    EXPECT_TRUE(gate.Waiting("ABC", -1440.0f));
    double last = 0.0;
    ASSERT_TRUE(gate.LastRowDate("ABC", -1440.0f, &last));
    EXPECT_EQ(last, 10.0);
    EXPECT_EQ(host.Count("NSTCOMMITROW"), 1);
}

// A chart's own history load: the watch went out before the history
// request, so the live lines held meanwhile repeat the history's end (for a
// bar chart, the trades its last bar was taken from). Each trade (told by its
// size) reaches the host once, also when the held lines come only after
// another chart's load.
TEST(RowGate, OwnLoadChartsTheHeldTradesOnce) {
    struct Case {
        const char* name;
        float series;
        std::vector<std::pair<double, double>> history, live;  // date, size
        std::vector<double> handed;                            // live sizes handed on
        // Another chart of the symbol is loaded before the held lines come.
        bool anotherLoad = false;
    };
    const Case cases[] = {
        {"ticks: held from before the history's last second",
         -0.0f,
         {{14, 1}, {15, 2}, {15, 3}},
         {{14, 1}, {15, 2}, {15, 3}, {15, 4}, {16, 5}},
         {4, 5}},
        {"ticks: held from mid-second, the line ends the pass",
         -0.0f,
         {{14, 1}, {15, 2}, {15, 3}},
         {{15, 3}, {15, 4}},
         {4}},
        {"ticks: nothing held was in the history", -0.0f, {{14, 1}}, {{14, 2}, {15, 3}}, {2, 3}},
        {"1-minute: the last bar's trades, then another chart's load",
         -1.0f,
         {{14, 1}, {15, 2}, {15, 3}},
         {{13, 9}, {15, 2}, {15, 3}, {15, 4}},
         {4},
         true},
    };
    for (const Case& c : cases) {
        testing::CRecordingHostFeed host;
        CRowGate gate;
        gate.SetInner(&host);
        gate.TrackRows(true);
        const bool ticks = c.series == 0.0f;
        const auto send = [&](const std::pair<double, double>& row) {
            gate.NSTSETVALUE("ABC", c.series, 1, row.first);
            gate.NSTSETVALUE("ABC", c.series, 3, row.second);
            if (ticks) {
                gate.NSTSETVALUE("ABC", c.series, 4, 0.0);
            }
            gate.NSTCOMMITROW("ABC", c.series);
        };
        for (const auto& row : c.history) {
            send(row);
        }
        const size_t before = host.calls.size();
        gate.StartLoadPass("ABC", c.series);
        if (c.anotherLoad) {
            gate.EndLoadPass("ABC", -5.0f);
        }
        for (const auto& row : c.live) {
            send(row);
        }
        gate.EndLoadPasses();
        EXPECT_EQ(gate.HeldRows(), 0) << c.name;
        // After the pass, live rows pass as they come.
        send({15, 9});
        std::vector<double> handed;
        for (size_t i = before; i < host.calls.size(); ++i) {
            if (host.calls[i].op == "NSTSETVALUE" && host.calls[i].column == 3) {
                handed.push_back(host.calls[i].value);
            }
        }
        std::vector<double> expected = c.handed;
        expected.push_back(9);
        EXPECT_EQ(handed, expected) << c.name;
    }
}

// Rows the gate holds for judging never stay there: the end of the filling, a
// later pass and the removal of a chart of the series each hand them on.
TEST(RowGate, HoldsNoRowsPastThePass) {
    enum class End { kFillEnds, kNextPass, kSeriesRemoved };
    for (const End end : {End::kFillEnds, End::kNextPass, End::kSeriesRemoved}) {
        testing::CRecordingHostFeed host;
        CRowGate gate;
        gate.SetInner(&host);
        gate.TrackRows(true);
        const auto send = [&](double date, double size) {
            gate.NSTSETVALUE("ABC", -1.0f, 1, date);
            gate.NSTSETVALUE("ABC", -1.0f, 2, 1.5);
            gate.NSTSETVALUE("ABC", -1.0f, 3, size);
            gate.NSTCOMMITROW("ABC", -1.0f);
        };
        send(15, 1);
        gate.SetFillingGap(true);
        gate.StartHeldPass();
        send(15, 2);
        EXPECT_EQ(gate.HeldRows(), 1);
        EXPECT_EQ(host.Count("NSTCOMMITROW"), 1);
        switch (end) {
            case End::kFillEnds:
                gate.SetFillingGap(false);
                break;
            case End::kNextPass:
                gate.StartPass();
                break;
            case End::kSeriesRemoved:
                gate.ReleaseHeldRows("ABC", -1.0f);
                break;
        }
        EXPECT_EQ(gate.HeldRows(), 0);
        EXPECT_EQ(host.Count("NSTCOMMITROW"), 2);
    }
}

}  // namespace
}  // namespace orvella
