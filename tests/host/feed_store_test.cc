#include "host/feed_store.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "host/NSTFeed.h"
#include "host/summary.h"
#include "host/svg_chart.h"

namespace nsthost {
namespace {

class FeedStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FeedStore().Clear();
        FeedStore().SetKeepRows(true);
        FeedStore().SetCredentials("", "");
    }
    void TearDown() override { FeedStore().Clear(); }

    static uint64_t Rows(const char* symbol, float interval) {
        uint64_t rows = 0;
        EXPECT_TRUE(FeedStore().WithSeries(symbol, interval,
                                           [&](const CSeries& s) { rows = s.RowCount(); }));
        return rows;
    }
};

TEST_F(FeedStoreTest, NegativeAndPositiveZeroAreTwoSeries) {
    NSTSETUPDATA("ABC", "d", -0.0f, 4, "c", 40756.0);
    NSTSETVALUE("ABC", -0.0f, 1, 40756.5);
    NSTCOMMITROW("ABC", -0.0f);
    NSTSETVALUE("ABC", 0.0f, 1, 40756.5);
    NSTCOMMITROW("ABC", 0.0f);
    NSTCOMMITROW("ABC", 0.0f);
    EXPECT_EQ(FeedStore().SeriesCount(), 2u);
    EXPECT_EQ(Rows("ABC", -0.0f), 1u);
    EXPECT_EQ(Rows("ABC", 0.0f), 2u);
    FeedStore().WithSeries("ABC", 0.0f, [](const CSeries& s) { EXPECT_FALSE(s.Announced()); });
    FeedStore().WithSeries("ABC", -0.0f, [](const CSeries& s) { EXPECT_TRUE(s.Announced()); });
    EXPECT_EQ(ChartFileName(SeriesKey::Of("ABC", -0.0f)), "ABC_-0.0.svg");
    EXPECT_EQ(ChartFileName(SeriesKey::Of("A/B \xE9", 5.0f)), "A%2FB%20%E9_5.svg");
}

TEST_F(FeedStoreTest, RowsWithoutAnnouncementAreKept) {
    NSTSETVALUE("XYZ", 5.0f, 1, 40756.0);
    NSTSETVALUE("XYZ", 5.0f, 3, 7.5);
    NSTCOMMITROW("XYZ", 5.0f);
    FeedStore().WithSeries("XYZ", 5.0f, [](const CSeries& s) {
        EXPECT_FALSE(s.Announced());
        ASSERT_EQ(s.StoredRows(), 1u);
        const auto row = s.Row(0);
        ASSERT_EQ(row.cells.size(), 3u);
        EXPECT_EQ(row.cells[0], 40756.0);
        EXPECT_TRUE(std::isnan(row.cells[1]));  // never set
        EXPECT_EQ(row.cells[2], 7.5);
        EXPECT_FALSE(row.history);
    });
    EXPECT_NE(SummaryText(FeedStore()).find("series XYZ 5: never announced, 1 rows"),
              std::string::npos);
}

TEST_F(FeedStoreTest, LayoutLabelsAndHistoryRows) {
    NSTSETUPDATA("ABC", "desc", -5.0f, 3, "cat", 40756.0);
    NSTSETLABEL("ABC", -5.0f, 1, "Date/Time");
    NSTSETLABEL("ABC", -5.0f, 2, "Close");
    NSTSETLABEL("ABC", -5.0f, 3, "Volume");
    FeedStore().BeginRequest();
    for (int i = 0; i < 3; ++i) {
        NSTSETVALUE("ABC", -5.0f, 1, 40756.0 + i);
        NSTSETVALUE("ABC", -5.0f, 2, 10.0 + i);
        NSTCOMMITROW("ABC", -5.0f);
    }
    FeedStore().EndRequest();
    NSTSETVALUE("ABC", -5.0f, 2, 99.0);
    NSTCOMMITROW("ABC", -5.0f);
    FeedStore().WithSeries("ABC", -5.0f, [](const CSeries& s) {
        EXPECT_EQ(s.Columns(), 3);
        EXPECT_EQ(s.Label(2), "Close");
        EXPECT_EQ(s.FindColumn("Volume"), 3);
        EXPECT_EQ(s.RowCount(), 4u);
        EXPECT_EQ(s.HistoryRowCount(), 3u);
        EXPECT_TRUE(s.Row(2).history);
        EXPECT_FALSE(s.Row(3).history);
        EXPECT_EQ(s.FirstDate(), 40756.0);
        EXPECT_TRUE(std::isnan(s.LastDate()));  // the last row set no date
        EXPECT_EQ(s.LastValues()[1], 99.0);
    });
}

TEST_F(FeedStoreTest, ColumnsOutOfRangeAreRejected) {
    for (int column : {0, -1, kMaxColumn + 1, 2000000000}) {
        NSTSETVALUE("ABC", 1.0f, column, 1.0);
        NSTSETLABEL("ABC", 1.0f, column, "x");
    }
    NSTCOMMITROW("ABC", 1.0f);
    FeedStore().WithSeries("ABC", 1.0f, [](const CSeries& s) {
        EXPECT_EQ(s.RejectedCalls(), 8u);
        EXPECT_TRUE(s.Row(0).cells.empty());
        EXPECT_TRUE(s.Labels().empty());
    });
}

TEST_F(FeedStoreTest, CountOnlyKeepsCountsAndLastRow) {
    FeedStore().SetKeepRows(false);
    for (int i = 0; i < 1000; ++i) {
        NSTSETVALUE("ABC", -1.0f, 1, 40000.0 + i);
        NSTSETVALUE("ABC", -1.0f, 2, i);
        NSTCOMMITROW("ABC", -1.0f);
    }
    FeedStore().WithSeries("ABC", -1.0f, [](const CSeries& s) {
        EXPECT_EQ(s.RowCount(), 1000u);
        EXPECT_EQ(s.StoredRows(), 0u);
        EXPECT_EQ(s.FirstDate(), 40000.0);
        EXPECT_EQ(s.LastDate(), 40999.0);
        EXPECT_EQ(s.LastValues()[1], 999.0);
    });
}

// The arrival of a row is timed only where it can be judged: streamed rows
// of a series that keeps its rows, whichever way the row was set (kept by
// its thread or observed call by call).
int g_clockReads = 0;
double CountingClock() {
    ++g_clockReads;
    return 1000.0;
}

TEST_F(FeedStoreTest, OnlyStreamedRowsOfKeptSeriesAreTimed) {
    struct Case {
        const char* what;
        bool keepRows;
        bool history;
        bool observed;
        int reads;
    } cases[] = {
        {"streamed, kept", true, false, false, 1},
        {"streamed, kept, observed", true, false, true, 1},
        {"history", true, true, false, 0},
        {"streamed, counts only", false, false, false, 0},
    };
    CFeedObserver observer;
    for (const Case& c : cases) {
        FeedStore().Clear();
        FeedStore().SetKeepRows(c.keepRows);
        FeedStore().SetClock(&CountingClock);
        FeedStore().SetObserver(c.observed ? &observer : nullptr);
        g_clockReads = 0;
        if (c.history) {
            FeedStore().BeginRequest();
        }
        NSTSETVALUE("ABC", -5.0f, 1, 40756.5);
        NSTCOMMITROW("ABC", -5.0f);
        if (c.history) {
            FeedStore().EndRequest();
        }
        FeedStore().SetObserver(nullptr);
        FeedStore().SetClock(nullptr);
        EXPECT_EQ(g_clockReads, c.reads) << c.what;
        EXPECT_EQ(Rows("ABC", -5.0f), 1u) << c.what;
    }
}

TEST_F(FeedStoreTest, CredentialsAreCutToTheBuffers) {
    struct Case {
        std::string user;
        std::string password;
        std::string userOut;
        std::string passwordOut;
    };
    const Case cases[] = {
        {"", "", "", ""},
        {"demo", "secret", "demo", "secret"},
        {std::string(23, 'u'), std::string(24, 'p'), std::string(23, 'u'), std::string(23, 'p')},
        {std::string(100, 'u'), "p", std::string(23, 'u'), "p"},
    };
    for (const Case& c : cases) {
        FeedStore().SetCredentials(c.user, c.password);
        char user[kCredentialBufferSize + 8];
        char password[kCredentialBufferSize + 8];
        std::memset(user, '#', sizeof user);
        std::memset(password, '#', sizeof password);
        char* u = user;
        char* p = password;
        GetUserIDPassword(&u, &p);
        EXPECT_EQ(std::string(user), c.userOut);
        EXPECT_EQ(std::string(password), c.passwordOut);
        // Nothing is written beyond the 24 bytes.
        for (size_t i = kCredentialBufferSize; i < sizeof user; ++i) {
            EXPECT_EQ(user[i], '#');
            EXPECT_EQ(password[i], '#');
        }
    }
    char* none = nullptr;
    GetUserIDPassword(&none, nullptr);  // tolerated
    EXPECT_EQ(FeedStore().GetCredentialsCount(), 5);
}

TEST_F(FeedStoreTest, ProgressAndRequirements) {
    EXPECT_EQ(FeedStore().LastPercent(), -1);
    RequireUserIDPassword();
    UpdatePercent(12);
    UpdatePercent(100);
    EXPECT_EQ(FeedStore().RequireCount(), 1);
    EXPECT_EQ(FeedStore().PercentUpdates(), 2);
    EXPECT_EQ(FeedStore().LastPercent(), 100);
}

// Plug-ins may call from more than one thread (the platform's message boxes
// and timer callbacks run elsewhere); the store must stay consistent.
TEST_F(FeedStoreTest, CallsFromManyThreads) {
    class CCounter : public CFeedObserver {
      public:
        void OnCommitRow(const char*, float) override { ++commits; }
        int commits = 0;  // guarded by the store's lock
    } counter;
    FeedStore().SetObserver(&counter);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            const std::string symbol = "S" + std::to_string(t);
            for (int i = 0; i < 500; ++i) {
                NSTSETVALUE(symbol.c_str(), 1.0f, 1, i);
                NSTCOMMITROW(symbol.c_str(), 1.0f);
                UpdatePercent(i % 100);
            }
        });
    }
    std::string summary;
    for (int i = 0; i < 20; ++i) {
        summary = SummaryText(FeedStore());
    }
    for (auto& thread : threads) {
        thread.join();
    }
    FeedStore().SetObserver(nullptr);
    EXPECT_EQ(counter.commits, 2000);
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(Rows(("S" + std::to_string(t)).c_str(), 1.0f), 500u);
    }
    EXPECT_EQ(FeedStore().PercentUpdates(), 2000);
}

// Without an observer a row's values wait with the thread that set them;
// its calls must still take effect in call order, for that thread's readers
// too, across series, long symbols and rows wider than the values kept.
TEST_F(FeedStoreTest, KeptValuesTakeEffectInCallOrder) {
    const std::string longName(60, 'L');
    NSTSETVALUE("AAA", 5.0f, 1, 1.0);
    EXPECT_EQ(FeedStore().SeriesCount(), 1u);  // the series exists at once for this thread
    NSTSETVALUE("AAA", 5.0f, 2, 2.0);
    NSTSETVALUE("BBB", 5.0f, 1, 9.0);  // another series between the values of a row
    NSTSETVALUE("AAA", 5.0f, 2, 3.0);  // the later value of a column wins
    NSTSETVALUE("AAA", 5.0f, 0, 4.0);  // rejected
    NSTCOMMITROW("AAA", 5.0f);
    for (int column = 1; column <= 20; ++column) {
        NSTSETVALUE(longName.c_str(), 5.0f, column, column);
    }
    NSTCOMMITROW(longName.c_str(), 5.0f);
    for (int column = 1; column <= 20; ++column) {
        NSTSETVALUE("WWW", 5.0f, column, column);
    }
    NSTCOMMITROW("WWW", 5.0f);
    NSTCOMMITROW("BBB", 5.0f);
    FeedStore().WithSeries("AAA", 5.0f, [](const CSeries& s) {
        EXPECT_EQ(s.LastValues(), (std::vector<double>{1.0, 3.0}));
        EXPECT_EQ(s.RejectedCalls(), 1u);
    });
    FeedStore().WithSeries("BBB", 5.0f, [](const CSeries& s) {
        EXPECT_EQ(s.LastValues(), (std::vector<double>{9.0}));
    });
    for (const char* wide : {longName.c_str(), "WWW"}) {
        FeedStore().WithSeries(wide, 5.0f, [](const CSeries& s) {
            EXPECT_EQ(s.RowCount(), 1u);
            ASSERT_EQ(s.LastValues().size(), 20u);
            EXPECT_EQ(s.LastValues()[0], 1.0);
            EXPECT_EQ(s.LastValues()[19], 20.0);
        });
    }

    // A commit of another series than the kept values' leaves them to
    // their own row.
    NSTSETVALUE("DDD", 5.0f, 1, 7.0);
    NSTCOMMITROW("BBB", 5.0f);
    NSTSETVALUE("DDD", 5.0f, 2, 8.0);
    NSTCOMMITROW("DDD", 5.0f);
    FeedStore().WithSeries("BBB", 5.0f, [](const CSeries& s) {
        EXPECT_EQ(s.RowCount(), 2u);  // the second row empty
        ASSERT_EQ(s.LastValues().size(), 1u);
        EXPECT_TRUE(std::isnan(s.LastValues()[0]));
    });
    FeedStore().WithSeries("DDD", 5.0f, [](const CSeries& s) {
        EXPECT_EQ(s.RowCount(), 1u);
        EXPECT_EQ(s.LastValues(), (std::vector<double>{7.0, 8.0}));
    });

    // A clear forgets the row being set with its series.
    NSTSETVALUE("CCC", 5.0f, 1, 1.0);
    FeedStore().Clear();
    NSTCOMMITROW("CCC", 5.0f);
    EXPECT_EQ(FeedStore().SeriesCount(), 1u);
    FeedStore().WithSeries("CCC", 5.0f,
                           [](const CSeries& s) { EXPECT_TRUE(s.LastValues().empty()); });
}

// Rows queued at their commit reach their series as they were when
// committed: more rows than the queue holds, history while a request was
// open, a row wider than the others among them, rows kept or only counted,
// and an observer installed later sees only the rows after it.
TEST_F(FeedStoreTest, QueuedRowsArriveAsCommitted) {
    class CCounter : public CFeedObserver {
      public:
        void OnSetValue(const char*, float, int, double) override { ++values; }
        void OnCommitRow(const char*, float) override { ++commits; }
        int values = 0;
        int commits = 0;
    };
    struct Case {
        const char* what;
        int rows;
        bool keepRows;
        bool inRequest;
        int observedRows;  // committed after the observer is installed
    } cases[] = {
        {"a few rows", 3, true, false, 0},
        {"more rows than the queue holds", 1000, true, false, 0},
        {"counted only", 1000, false, false, 0},
        {"history rows handed on after the request", 100, true, true, 0},
        {"history rows counted only", 1000, false, true, 0},
        {"observed after queued rows", 100, true, false, 5},
    };
    for (const Case& c : cases) {
        FeedStore().Clear();
        FeedStore().SetKeepRows(c.keepRows);
        CCounter counter;
        if (c.inRequest) {
            FeedStore().BeginRequest();
        }
        const int rows = c.rows + c.observedRows;
        for (int i = 0; i < rows; ++i) {
            if (i == c.rows) {
                FeedStore().SetObserver(&counter);
            }
            NSTSETVALUE("QQQ", 1.0f, 1, 40000.0 + i);
            NSTSETVALUE("QQQ", 1.0f, 2, i);
            if (i == rows / 2) {
                NSTSETVALUE("QQQ", 1.0f, 3, 7.0);  // widens the rows after it
            }
            NSTCOMMITROW("QQQ", 1.0f);
        }
        if (c.inRequest) {
            FeedStore().EndRequest();
        }
        FeedStore().SetObserver(nullptr);
        EXPECT_EQ(counter.commits, c.observedRows) << c.what;
        EXPECT_EQ(counter.values, 2 * c.observedRows) << c.what;
        EXPECT_TRUE(FeedStore().WithSeries("QQQ", 1.0f, [&](const CSeries& s) {
            EXPECT_EQ(s.RowCount(), static_cast<uint64_t>(rows)) << c.what;
            EXPECT_EQ(s.HistoryRowCount(), c.inRequest ? static_cast<uint64_t>(rows) : 0u)
                << c.what;
            EXPECT_EQ(s.FirstDate(), 40000.0) << c.what;
            EXPECT_EQ(s.LastDate(), 40000.0 + rows - 1) << c.what;
            ASSERT_EQ(s.LastValues().size(), 3u) << c.what;
            EXPECT_EQ(s.LastValues()[1], rows - 1.0) << c.what;
            EXPECT_TRUE(std::isnan(s.LastValues()[2])) << c.what;
            ASSERT_EQ(s.StoredRows(), c.keepRows ? static_cast<size_t>(rows) : 0u) << c.what;
            if (c.keepRows) {
                EXPECT_EQ(s.Row(rows / 2).cells[1], rows / 2) << c.what;
                EXPECT_EQ(s.Row(rows / 2).cells[2], 7.0) << c.what;
            }
        })) << c.what;
    }
}

// Rows of many series in turn, in runs of one to several rows each, more
// than the queue holds: every series gets its own rows in order, whether
// they are kept or only counted.
TEST_F(FeedStoreTest, QueuedRowsOfManySeriesInTurn) {
    struct Case {
        const char* what;
        int series;
        int run;  // consecutive rows of one series
        bool keepRows;
    } cases[] = {
        {"one row each, kept", 700, 1, true},
        {"one row each, counted only", 700, 1, false},
        {"runs of five, counted only", 90, 5, false},
        {"runs of three, kept", 40, 3, true},
    };
    constexpr int kTurns = 4;
    for (const Case& c : cases) {
        FeedStore().Clear();
        FeedStore().SetKeepRows(c.keepRows);
        std::vector<std::string> names;
        for (int i = 0; i < c.series; ++i) {
            names.push_back("S" + std::to_string(i));
        }
        for (int turn = 0; turn < kTurns; ++turn) {
            for (int i = 0; i < c.series; ++i) {
                for (int r = 0; r < c.run; ++r) {
                    const int row = turn * c.run + r;
                    NSTSETVALUE(names[i].c_str(), 5.0f, 1, 40000.0 + row);
                    NSTSETVALUE(names[i].c_str(), 5.0f, 2, i * 1000.0 + row);
                    NSTCOMMITROW(names[i].c_str(), 5.0f);
                }
            }
        }
        const int rows = kTurns * c.run;
        EXPECT_EQ(FeedStore().SeriesCount(), static_cast<size_t>(c.series)) << c.what;
        for (int i = 0; i < c.series; ++i) {
            EXPECT_TRUE(FeedStore().WithSeries(
                names[i].c_str(), 5.0f,
                [&](const CSeries& s) {
                    EXPECT_EQ(s.RowCount(), static_cast<uint64_t>(rows)) << c.what;
                    EXPECT_EQ(s.FirstDate(), 40000.0) << c.what;
                    EXPECT_EQ(s.LastDate(), 40000.0 + rows - 1) << c.what;
                    ASSERT_EQ(s.LastValues().size(), 2u) << c.what;
                    EXPECT_EQ(s.LastValues()[1], i * 1000.0 + rows - 1) << c.what;
                    ASSERT_EQ(s.StoredRows(), c.keepRows ? static_cast<size_t>(rows) : 0u)
                        << c.what;
                    for (size_t k = 0; k < s.StoredRows(); ++k) {
                        EXPECT_EQ(s.Row(k).cells[1], i * 1000.0 + static_cast<double>(k)) << c.what;
                    }
                }))
                << c.what << " " << names[i];
        }
    }
}

// Rows built on several threads at once without an observer: every row
// complete, in its own series, and a reader meanwhile never sees part of a
// row or a count that goes back.
TEST_F(FeedStoreTest, RowsFromManyThreadsWithoutAnObserver) {
    FeedStore().SetKeepRows(false);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            const std::string symbol = "T" + std::to_string(t);
            for (int i = 0; i < 2000; ++i) {
                NSTSETVALUE(symbol.c_str(), 1.0f, 1, i);
                NSTSETVALUE(symbol.c_str(), 1.0f, 2, t);
                NSTCOMMITROW(symbol.c_str(), 1.0f);
            }
        });
    }
    uint64_t seen[4] = {};
    for (int i = 0; i < 200; ++i) {
        SummaryText(FeedStore());
        for (int t = 0; t < 4; ++t) {
            const std::string symbol = "T" + std::to_string(t);
            FeedStore().WithSeries(symbol.c_str(), 1.0f, [&](const CSeries& s) {
                EXPECT_GE(s.RowCount(), seen[t]);
                seen[t] = s.RowCount();
                if (s.RowCount() > 0) {
                    EXPECT_EQ(s.LastValues(),
                              (std::vector<double>{s.RowCount() - 1.0, static_cast<double>(t)}));
                }
            });
        }
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < 4; ++t) {
        const std::string symbol = "T" + std::to_string(t);
        FeedStore().WithSeries(symbol.c_str(), 1.0f, [t](const CSeries& s) {
            EXPECT_EQ(s.RowCount(), 2000u);
            EXPECT_EQ(s.LastValues(), (std::vector<double>{1999.0, static_cast<double>(t)}));
        });
    }
}

// A thread's rows and values wait in a queue of its own: what it committed
// is there for every reader after it ends (also when more threads have set
// rows than the store keeps queues for), values it set and never committed
// are no part of any row, and another thread's commit does not take the
// values a thread has pending.
TEST_F(FeedStoreTest, EachThreadsRowsAndValuesAreItsOwn) {
    std::promise<void> valueSet;
    std::promise<void> otherCommitted;
    std::thread setter([&] {
        NSTSETVALUE("OWN", 1.0f, 1, 5.0);
        valueSet.set_value();
        otherCommitted.get_future().wait();
        NSTCOMMITROW("OWN", 1.0f);
    });
    valueSet.get_future().wait();
    NSTCOMMITROW("OWN", 1.0f);
    FeedStore().WithSeries("OWN", 1.0f, [](const CSeries& s) {
        EXPECT_EQ(s.RowCount(), 1u);
        EXPECT_TRUE(s.LastValues().empty());
    });
    otherCommitted.set_value();
    setter.join();
    FeedStore().WithSeries("OWN", 1.0f, [](const CSeries& s) {
        EXPECT_EQ(s.RowCount(), 2u);
        EXPECT_EQ(s.LastValues(), (std::vector<double>{5.0}));
    });

    for (int t = 0; t < 40; ++t) {
        std::thread([t] {
            for (int i = 0; i < 300; ++i) {
                NSTSETVALUE("ENDED", 1.0f, 1, t * 1000 + i);
                NSTCOMMITROW("ENDED", 1.0f);
            }
            NSTSETVALUE("ENDED", 1.0f, 2, t);
        }).join();
    }
    NSTCOMMITROW("ENDED", 1.0f);
    FeedStore().WithSeries("ENDED", 1.0f, [](const CSeries& s) {
        EXPECT_EQ(s.RowCount(), 40u * 300u + 1u);
        ASSERT_GE(s.LastValues().size(), 1u);
        EXPECT_TRUE(std::isnan(s.LastValues()[0]));
    });
}

}  // namespace
}  // namespace nsthost
