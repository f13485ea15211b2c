// A tiny data-pump plug-in for the host's tests. It answers the three exports
// through the feed library and the platform's message boxes and queue. The
// words of a request's description steer it:
//   rows=N       commit N rows while the request runs (default 2)
//   post=N       post N messages; each commits one row when dispatched (with
//                the values of the request's rows)
//   lag=S        the posted rows are dated at the local clock's time of
//                their dispatch less S seconds, as live rows (lag=0) or the
//                rows of a gap fill would be
//   negzero      every value cell is -0.0
//   wave         column 2 swings up and down (a price), column 3 grows (a
//                volume), so bars built from the rows rise and fall
//   unannounced  also commit a row to SYMBOL at the interval as given,
//                which is never announced
//   box          show a message box with Latin-1 text
//   fail         return 0
// The series interval is the request's interval times -1 (ticks: -0.0), the
// columns are the host's names cut at commas in place.
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "host/NSTFeed.h"
#include "platform/civil_days.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/message_queue.h"
#include "platform/text.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint32_t kStreamMessage = platform::kUserMessage + 7;

bool g_credentialsKnown = false;
std::string g_streamSymbol;
float g_streamInterval = 0.0f;
int g_streamColumns = 0;
int g_streamed = 0;

enum class Values { kCount, kNegZero, kWave };

double Value(Values values, int index, int column) {
    switch (values) {
        case Values::kNegZero:
            return -0.0;
        case Values::kWave:
            return column == 2 ? 10.0 + 2.0 * std::sin(index / 3.0) : 100.0 + 10.0 * index;
        case Values::kCount:
            break;
    }
    return 10.0 + index + column / 4.0;
}

Values g_streamValues = Values::kCount;

void CommitRow(const std::string& symbol, float interval, int columns, double date, int index,
               Values values) {
    NSTSETVALUE(symbol.c_str(), interval, 1, date);
    for (int c = 2; c <= columns; ++c) {
        NSTSETVALUE(symbol.c_str(), interval, c, Value(values, index, c));
    }
    NSTCOMMITROW(symbol.c_str(), interval);
}

// The local clock as a host day count.
double Now() {
    const platform::LocalTime t = platform::CurrentLocalTime();
    // Host day counts start at 1899-12-30, 25569 days before 1970-01-01.
    return static_cast<double>(platform::DaysFromCivil(t.year, t.month, t.day) + 25569) +
           (t.hour * 3600 + t.minute * 60 + t.second + t.milliseconds / 1000.0) / 86400.0;
}

// wparam: 0 for a row of the old dates, else 1 + the lag in milliseconds.
void OnStreamMessage(const platform::Message& msg, void*) {
    if (msg.wparam == 0) {
        CommitRow(g_streamSymbol, g_streamInterval, g_streamColumns, 40756.5 + g_streamed, 100,
                  g_streamValues);
    } else {
        const double lag = static_cast<double>(msg.wparam - 1) / 1000.0;
        CommitRow(g_streamSymbol, g_streamInterval, g_streamColumns, Now() - lag / 86400.0,
                  g_streamed, g_streamValues);
    }
    ++g_streamed;
}

struct Lifetime {
    Lifetime() {
        RequireUserIDPassword();
        platform::SetMessageHandler(kStreamMessage, OnStreamMessage, nullptr);
    }
    ~Lifetime() { platform::SetMessageHandler(kStreamMessage, nullptr, nullptr); }
};
Lifetime g_lifetime;

double Word(const std::string& description, const std::string& name, double fallback) {
    std::istringstream words(description);
    std::string word;
    while (words >> word) {
        if (word == name) {
            return 1;
        }
        if (word.rfind(name + "=", 0) == 0) {
            return std::stod(word.substr(name.size() + 1));
        }
    }
    return fallback;
}

}  // namespace

FAKE_EXPORT int UserIDPasswordChanged(const char* userId, const char* password) {
    if (*userId == '\0' || *password == '\0') {
        g_credentialsKnown = false;
        platform::MessageBox(L"ERROR! No credentials.", L"FakePlugin",
                             platform::kMbIconError | platform::kMbSystemModal);
        return 0;
    }
    g_credentialsKnown = true;
    return -1;
}

FAKE_EXPORT int RequestTicker(const char* symbol, const char* description, const char* category,
                              double startDate, float barInterval, char* columnNames) {
    if (!g_credentialsKnown) {
        char user[24], password[24];
        std::memset(user, 'X', sizeof user);
        std::memset(password, 'X', sizeof password);
        char* userPtr = user;
        char* passwordPtr = password;
        GetUserIDPassword(&userPtr, &passwordPtr);
        platform::MessageBox(
            platform::WidenText(std::string("user=") + user + " password=" + password),
            L"FakePlugin", platform::kMbIconInformation);
    }
    const std::string desc = description;
    const float series = barInterval * -1.0f;
    std::vector<const char*> labels;
    for (char* p = columnNames; *p != '\0';) {
        labels.push_back(p);
        char* comma = std::strchr(p, ',');
        if (comma == nullptr) {
            break;
        }
        *comma = '\0';  // the host's text is writable
        p = comma + 1;
    }
    const int columns = static_cast<int>(labels.size());
    NSTSETUPDATA(symbol, description, series, columns, category, startDate);
    for (int c = 1; c <= columns; ++c) {
        NSTSETLABEL(symbol, series, c, labels[c - 1]);
    }
    const int rows = static_cast<int>(Word(desc, "rows", 2));
    const Values values = Word(desc, "negzero", 0) ? Values::kNegZero
                          : Word(desc, "wave", 0)  ? Values::kWave
                                                   : Values::kCount;
    for (int i = 0; i < rows; ++i) {
        CommitRow(symbol, series, columns, startDate + i / 1440.0, i, values);
        UpdatePercent(100 * (i + 1) / (rows + 1));
    }
    UpdatePercent(100);
    if (Word(desc, "unannounced", 0)) {
        CommitRow(symbol, barInterval, 2, startDate, 0, Values::kCount);
    }
    if (Word(desc, "box", 0)) {
        platform::MessageBox(platform::WidenText("Caf\xE9 \"quoted\"\n"), L"FakePlugin",
                             platform::kMbIconError | platform::kMbSystemModal);
    }
    g_streamSymbol = symbol;
    g_streamInterval = series;
    g_streamColumns = columns;
    g_streamValues = values;
    const double lag = Word(desc, "lag", -1);
    const auto dated = static_cast<uintptr_t>(lag < 0 ? 0 : 1 + std::llround(lag * 1000));
    for (int i = static_cast<int>(Word(desc, "post", 0)); i > 0; --i) {
        platform::PostMessage(kStreamMessage, dated, 0);
    }
    return Word(desc, "fail", 0) ? 0 : 1;
}

FAKE_EXPORT int RemoveTicker(const char* symbol, float barInterval) {
    return 1;
}
