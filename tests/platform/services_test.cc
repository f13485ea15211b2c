#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/sync.h"
#include "platform/text.h"
#include "platform/time_format.h"
#include "testing/seen_box.h"

namespace platform {
namespace {

TEST(TextTest, EveryByteWidensAndNarrowsBack) {
    std::string bytes;
    for (int b = 0; b < 256; ++b) {
        bytes.push_back(static_cast<char>(b));
    }
    const std::wstring wide = WidenText(bytes);
    ASSERT_EQ(wide.size(), 256u);
    EXPECT_EQ(wide[0xE9], L'\u00E9');
    EXPECT_EQ(wide[0xFF], L'\u00FF');
    EXPECT_EQ(NarrowText(wide), bytes);
}

TEST(TextTest, UnmappableCharactersNarrowToQuestionMarks) {
    struct Case {
        std::wstring wide;
        std::string narrow;
    } cases[] = {
        {L"", ""},
        {L"abc", "abc"},
        {L"\u20AC5", "?5"},
        {L"a\u0100b\U0001F600", "a?b?"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NarrowText(c.wide), c.narrow);
    }
}

TEST(TextTest, AppendWidenedKeepsWhatIsThere) {
    std::wstring out = L"ab";
    out.reserve(64);
    const wchar_t* before = out.data();
    AppendWidened("c\xE9", &out);
    EXPECT_EQ(out, L"abc\u00E9");
    EXPECT_EQ(out.data(), before);
}

// Bytes in whole blocks and a rest become the characters of the same number
// (those that every single-byte code page maps so: zero, ASCII and e acute).
TEST(TextTest, WidenIntoMapsEachByte) {
    std::string bytes(1, '\0');
    for (int i = 1; i < 300; ++i) {
        bytes += static_cast<char>(i % 7 == 0 ? 0xE9 : 32 + i % 95);
    }
    std::wstring out(bytes.size() + 1, L'x');
    ASSERT_EQ(WidenInto(bytes, out.data()), bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        EXPECT_EQ(static_cast<int>(out[i]), static_cast<unsigned char>(bytes[i])) << i;
    }
    EXPECT_EQ(out.back(), L'x');
}

TEST(ClockTest, FormattedLocalTimeIsTheClocksSecond) {
    // Read within one second, so that both name the same one.
    for (int attempt = 0; attempt < 10; ++attempt) {
        const LocalTime before = CurrentLocalTime();
        const std::string stamp = FormatLocalTime("%Y%m%d_%H%M%S");
        const LocalTime after = CurrentLocalTime();
        if (before.second != after.second) {
            continue;
        }
        char expected[32];
        std::snprintf(expected, sizeof(expected), "%04d%02d%02d_%02d%02d%02d", before.year,
                      before.month, before.day, before.hour, before.minute, before.second);
        EXPECT_EQ(stamp, expected);
        return;
    }
    FAIL() << "the clock never held one second for three reads";
}

TEST(ClockTest, LocalTimeAndCounterAreSane) {
    const LocalTime now = CurrentLocalTime();
    EXPECT_GE(now.year, 2024);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12);
    EXPECT_TRUE(now.day >= 1 && now.day <= 31);
    EXPECT_TRUE(now.hour >= 0 && now.hour <= 23);
    EXPECT_TRUE(now.minute >= 0 && now.minute <= 59);
    EXPECT_TRUE(now.second >= 0 && now.second <= 60);
    EXPECT_TRUE(now.milliseconds >= 0 && now.milliseconds <= 999);

    int64_t frequency = 0;
    int64_t first = 0;
    int64_t second = 0;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    ASSERT_TRUE(QueryPerformanceCounter(&first));
    Sleep(20);
    ASSERT_TRUE(QueryPerformanceCounter(&second));
    EXPECT_GE(second - first, frequency / 50);
}

TEST(EventTest, AutoAndManualResetSemantics) {
    CEvent automatic;
    EXPECT_FALSE(automatic.Wait(0));
    automatic.Set();
    EXPECT_TRUE(automatic.Wait(0));
    EXPECT_FALSE(automatic.Wait(0));  // the successful wait reset it

    CEvent manual(true, true);
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(0));
    manual.Reset();
    EXPECT_FALSE(manual.Wait(10));
}

TEST(EventTest, SetWakesAWaiterOnAnotherThread) {
    CEvent event;
    bool woke = false;
    std::thread waiter([&] { woke = event.Wait(kInfinite); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    event.Set();
    waiter.join();
    EXPECT_TRUE(woke);
}

// A waiter may destroy the event as soon as its wait returns, so the thread
// that set it must be done with it by then (found under ThreadSanitizer).
TEST(EventTest, AWaiterMayDestroyTheEventOnceWoken) {
    for (int round = 0; round < 200; ++round) {
        auto event = std::make_unique<CEvent>(true);
        std::thread setter([raw = event.get()] { raw->Set(); });
        EXPECT_TRUE(event->Wait(5000));
        event.reset();
        setter.join();
    }
}

using orvella::testing::CSeenBox;

TEST(MessageBoxTest, ReturnsAtOnceAndTellsTheObserver) {
    CSeenBox seen;
    SetMessageBoxObserver(&CSeenBox::Observe, &seen);
    EXPECT_EQ(MessageBox(L"Please reload this chart!", L"History", kMbIconError | kMbSystemModal),
              kIdOk);
    SetMessageBoxObserver(nullptr, nullptr);
    EXPECT_EQ(MessageBox(L"unseen", L"caption", kMbOk), kIdOk);
    EXPECT_EQ(seen.count, 1);
    EXPECT_EQ(seen.caption, L"History");
    EXPECT_EQ(seen.text, L"Please reload this chart!");
    EXPECT_EQ(seen.flags, kMbIconError | kMbSystemModal);
}

}  // namespace
}  // namespace platform
