// The three functions the plug-in exports to the charting host.
#pragma once

#include "platform/platform_export.h"

#define ORVELLA_EXPORT ORVELLA_SHARED_SYMBOL

#ifdef __cplusplus
extern "C" {
#endif

// -1 when the feed client was launched and the settings were read; 0 when a
// credential is empty or the launch failed.
ORVELLA_EXPORT int UserIDPasswordChanged(const char* userId, const char* password);

// 1 when the request was served; 0 when the liveness timer could not be
// created or the level-one watch failed. columnNames may be cut in place.
// Returns once the series' history has been delivered.
ORVELLA_EXPORT int RequestTicker(const char* symbol, const char* description, const char* category,
                                 double startDate, float barInterval, char* columnNames);

// Always 1.
ORVELLA_EXPORT int RemoveTicker(const char* symbol, float barInterval);

typedef int (*UserIDPasswordChangedFn)(const char*, const char*);
typedef int (*RequestTickerFn)(const char*, const char*, const char*, double, float, char*);
typedef int (*RemoveTickerFn)(const char*, float);

#ifdef __cplusplus
}
#endif
