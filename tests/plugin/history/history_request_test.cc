#include "plugin/history/history_request.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "history_doubles.h"
#include "plugin/boundary/global_state.h"
#include "plugin/history/history_thread.h"

namespace orvella {
namespace {

TEST(HistoryRequestType, IntervalTable) {
    struct Case {
        float interval;
        const wchar_t* type;
        int seconds;  // for "HIT"
    } cases[] = {
        {0.0f, L"HTT", 0},
        {-0.0f, L"HTT", 0},
        {0.5f, L"HIT", 30},
        {1.0f, L"HIT", 60},
        {0.01f, L"HIT", 0},
        {5.0f, L"HIT", 300},
        {1439.99f, L"HIT", 86399},
        {1440.0f, L"HDX", 0},
        {10080.0f, L"HWX", 0},
        {43200.0f, L"HMX", 0},
        {302400.0f, L"HMX", 0},
        {2880.0f, L"", 0},
        {20160.0f, L"", 0},
        {-1.0f, L"", 0},
        {-1440.0f, L"", 0},
        {std::numeric_limits<float>::quiet_NaN(), L"", 0},
        {std::numeric_limits<float>::infinity(), L"", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HistoryRequestType(c.interval), c.type) << c.interval;
        if (std::wstring(c.type) == L"HIT") {
            EXPECT_EQ(IntervalSeconds(c.interval), c.seconds) << c.interval;
        }
    }
}

TEST(HistoryRequestText, ExactBytes) {
    const std::string tick = FormatTickRequest(L"ABC", L"20110801 093000", L"000000", L"235959");
    EXPECT_EQ(tick, "HTT,ABC,20110801 093000,,,000000,235959,1\r\n");
    EXPECT_EQ(tick.size(), 43u);
    EXPECT_EQ(FormatTickRequest(L"ABC", L"20110801 093000", L"", L""),
              "HTT,ABC,20110801 093000,,,,,1\r\n");
    EXPECT_EQ(FormatIntervalRequest(L"ABC", 300, L"20110801 093000", L"093000", L"160000"),
              "HIT,ABC,300,20110801 093000,,,093000,160000,1\r\n");
    EXPECT_EQ(FormatIntervalRequest(L"ABC", 30, L"Invalid DateTime", L"", L""),
              "HIT,ABC,30,Invalid DateTime,,,,,1\r\n");
    EXPECT_EQ(FormatDayRequest(L"HDX", L"ABC"), "HDX,ABC,,1\r\n");
    EXPECT_EQ(FormatDayRequest(L"HWX", L"@ES#"), "HWX,@ES#,,1\r\n");
    EXPECT_EQ(FormatDayRequest(L"HMX", L"ABC"), "HMX,ABC,,1\r\n");
}

TEST(TotalRequestDays, TruncatesTowardZeroPlusOne) {
    const HostDate request{40766.5, kDateValid};
    struct Case {
        double startOffsetDays;  // start date minus request time
        uint16_t total;
    } cases[] = {
        {-(10.0 + 2.0 / 24), 11}, {2.0 / 24, 1}, {1.5, 0}, {0.0, 1}, {0.4, 1},
    };
    for (const Case& c : cases) {
        const HostDate start{request.value + c.startOffsetDays, kDateValid};
        EXPECT_EQ(TotalRequestDays(request, start), c.total) << c.startOffsetDays;
    }
    // Only the low 16 bits of 65537 remain.
    EXPECT_EQ(TotalRequestDays(HostDate{100000.5, kDateValid}, HostDate{34464.5, kDateValid}), 1);
}

// An interval that names no request is logged and finished without a
// connection: the host gets 100 percent and the completion event is set.
TEST(RunHistoryRequest, UnrecognisedIntervalFinishesAtOnce) {
    struct Case {
        float interval;
        const wchar_t* logged;
    } cases[] = {
        {2880.0f, L"We did not understand the bar internval 2880.000000 we received"},
        {-1.0f, L"We did not understand the bar internval -1.000000 we received"},
    };
    for (const Case& c : cases) {
        test::CHostFeedScope scope;
        test::ClearLog();
        platform::CEvent event(false, false);
        CHistoryThread thread(&event);
        thread.Start();
        RunHistoryRequest(event, thread, L"ABC", L"desc", L"cat", 40756.0, c.interval, L"");
        thread.Join();
        EXPECT_TRUE(test::LogContains(c.logged));
        EXPECT_EQ(scope.host.Texts(), std::vector<std::string>{"P 100"});
        EXPECT_EQ(thread.m_data.m_strRequestType, L"");
        EXPECT_EQ(thread.m_data.m_pCompletionEvent, &event);
        EXPECT_EQ(thread.m_data.m_pThread, &thread);
        EXPECT_EQ(thread.m_strSymbol, L"ABC");
        EXPECT_EQ(thread.m_data.m_fInterval, c.interval);
    }
}

TEST(RunHistoryRequest, LogsTheStartDate) {
    test::CHostFeedScope scope;
    test::ClearLog();
    platform::CEvent event(false, false);
    CHistoryThread thread(&event);
    RunHistoryRequest(event, thread, L"ABC", L"", L"", 40756.395833333336, -5.0f, L"");
    EXPECT_TRUE(test::LogContains(L"dStartDate is Monday, August 01, 2011  09:30:00"));
    EXPECT_TRUE(event.Wait(0));
}

// Start dates beyond what the feed's date fields take are held to the years
// 1900 to 9999 and logged once; year 100 used to go out as "1000101 000000".
TEST(RunHistoryRequest, StartDatesAreHeldToTheFeedsYears) {
    const std::wstring first = L"dStartDate is Monday, January 01, 1900  00:00:00";
    const std::wstring last = L"dStartDate is Friday, December 31, 9999  23:59:59";
    const std::wstring outside =
        L"The start date %ls lies outside the years 1900 to 9999; the "
        L"request starts at ";
    struct Case {
        double start;
        std::wstring logged;  // the start as the log shows it
        std::wstring given;   // the logged start of a moved date; empty when not moved
        std::wstring held;
    } cases[] = {
        {40756.395833333336, L"dStartDate is Monday, August 01, 2011  09:30:00", L"", L""},
        {2.0, first, L"", L""},
        {2958465.9999884260, last, L"", L""},
        {-657434.0, first, L"-657434.000000", L"2.000000"},
        {-0.5, first, L"-0.500000", L"2.000000"},
        {1.99, first, L"1.990000", L"2.000000"},
        {2958466.0, last, L"2958466.000000", L"2958465.999988"},
        {1e30, last, L"1000000000000000019884624838656.000000", L"2958465.999988"},
    };
    for (const Case& c : cases) {
        test::CHostFeedScope scope;
        test::ClearLog();
        platform::CEvent event(false, false);
        CHistoryThread thread(&event);
        RunHistoryRequest(event, thread, L"ABC", L"", L"", c.start, -5.0f, L"");
        EXPECT_TRUE(test::LogContains(c.logged)) << c.start;
        bool clamped = false;
        const double held = RequestStartDate(c.start, &clamped);
        EXPECT_EQ(thread.m_data.m_dStartDate, held) << c.start;
        EXPECT_EQ(clamped, !c.given.empty()) << c.start;
        if (clamped) {
            std::wstring line = outside;
            line.replace(line.find(L"%ls"), 3, c.given);
            EXPECT_TRUE(test::LogContains(line + c.held)) << c.start;
        }
        EXPECT_TRUE(event.Wait(0));
    }
}

}  // namespace
}  // namespace orvella
