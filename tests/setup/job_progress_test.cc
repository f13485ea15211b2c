// The progress of a job as the bar and the progress line show it.
#include "setup/job_progress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvella {
namespace {

TEST(JobProgressTest, ShareRateAndTimeLeft) {
    struct Reading {
        int64_t done;
        double at;  // seconds after the start
        bool shown;
        int permille;
        std::string text;
    };
    struct Case {
        const char* name;
        int64_t total;
        std::vector<Reading> readings;
        bool shownAtTheEnd;  // the last reading, held back, is shown when the job ends
    };
    const Case cases[] = {
        {"a known length",
         10 * 1024 * 1024,
         {{0, 0.0, true, 0, "0% 0 bytes of 10.0 MB"},
          {1024, 0.1, false, 0, "0% 1.0 KB of 10.0 MB"},
          {1024 * 1024, 0.15, true, 100, "10% 1.0 MB of 10.0 MB"},
          {2 * 1024 * 1024, 1.0, true, 200, "20% 2.0 MB of 10.0 MB, 2.0 MB/s, 4 s left"},
          {2 * 1024 * 1024 + 10, 1.1, false, 200, "20% 2.0 MB of 10.0 MB, 1.8 MB/s, 5 s left"},
          {2 * 1024 * 1024 + 20, 1.3, true, 200, "20% 2.0 MB of 10.0 MB, 1.5 MB/s, 6 s left"},
          {10 * 1024 * 1024, 100.0, true, 1000, "100% 10.0 MB of 10.0 MB, 102.4 KB/s"},
          {10 * 1024 * 1024, 100.1, false, 1000, "100% 10.0 MB of 10.0 MB, 102.3 KB/s"}},
         false},
        {"no length: the byte count and the rate",
         -1,
         {{0, 0.0, true, -1, "0 bytes"},
          {512, 0.25, true, -1, "512 bytes"},
          {300 * 1024, 2.0, true, -1, "300.0 KB, 150.0 KB/s"},
          {400 * 1024, 2.1, false, -1, "400.0 KB, 190.5 KB/s"}},
         true},
        {"an empty file is whole at once",
         0,
         {{0, 0.0, true, 1000, "100% 0 bytes of 0 bytes"}},
         false},
        {"long jobs tell minutes and hours",
         1024LL * 1024 * 1024 * 10,
         {{1024 * 1024, 1.0, true, 0, "0% 1.0 MB of 10.00 GB, 1.0 MB/s, 2 h 50 min left"},
          {1024LL * 1024 * 1024 * 10 - 100 * 1024 * 1024, 3600.0, true, 990,
           "99% 9.90 GB of 10.00 GB, 2.8 MB/s, 36 s left"}},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CProgressMeter meter;
        meter.Start(c.total, 50.0);
        for (const Reading& r : c.readings) {
            EXPECT_EQ(meter.Update(r.done, 50.0 + r.at), r.shown) << r.done;
            EXPECT_EQ(meter.Current().Permille(), r.permille) << r.done;
            EXPECT_EQ(ProgressText(meter.Current()), r.text) << r.done;
        }
        EXPECT_EQ(meter.Finish(50.0 + c.readings.back().at), c.shownAtTheEnd);
        EXPECT_FALSE(meter.Finish(50.0 + c.readings.back().at));
    }
}

}  // namespace
}  // namespace orvella
