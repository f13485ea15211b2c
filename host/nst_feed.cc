// The feed library's C entry points; each hands its call to the store.
#include "host/NSTFeed.h"
#include "host/feed_store.h"

namespace {
// Looked up once: each streamed value is a call of its own.
nsthost::CFeedStore& g_store = nsthost::FeedStore();
}  // namespace

extern "C" {

void RequireUserIDPassword(void) {
    g_store.RequireUserIDPassword();
}

void GetUserIDPassword(char** userId, char** password) {
    g_store.GetUserIDPassword(userId, password);
}

void NSTSETUPDATA(const char* symbol, const char* description, float interval, int columns,
                  const char* category, double startDate) {
    g_store.SetupData(symbol, description, interval, columns, category, startDate);
}

void NSTSETLABEL(const char* symbol, float interval, int column, const char* label) {
    g_store.SetLabel(symbol, interval, column, label);
}

void NSTSETVALUE(const char* symbol, float interval, int column, double value) {
    g_store.SetValue(symbol, interval, column, value);
}

void NSTCOMMITROW(const char* symbol, float interval) {
    g_store.CommitRow(symbol, interval);
}

void UpdatePercent(int percent) {
    g_store.UpdatePercent(percent);
}

}  // extern "C"
