// The feed library's C entry points; each hands its call to the store.
#include "host/NSTFeed.h"
#include "host/feed_store.h"

extern "C" {

void RequireUserIDPassword(void) {
    nsthost::FeedStore().RequireUserIDPassword();
}

void GetUserIDPassword(char** userId, char** password) {
    nsthost::FeedStore().GetUserIDPassword(userId, password);
}

void NSTSETUPDATA(const char* symbol, const char* description, float interval, int columns,
                  const char* category, double startDate) {
    nsthost::FeedStore().SetupData(symbol, description, interval, columns, category, startDate);
}

void NSTSETLABEL(const char* symbol, float interval, int column, const char* label) {
    nsthost::FeedStore().SetLabel(symbol, interval, column, label);
}

void NSTSETVALUE(const char* symbol, float interval, int column, double value) {
    nsthost::FeedStore().SetValue(symbol, interval, column, value);
}

void NSTCOMMITROW(const char* symbol, float interval) {
    nsthost::FeedStore().CommitRow(symbol, interval);
}

void UpdatePercent(int percent) {
    nsthost::FeedStore().UpdatePercent(percent);
}

}  // extern "C"
