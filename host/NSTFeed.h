// The charting host's feed library, through which a data plug-in hands
// series, labels, rows and progress to the host. The host implements it; the
// plug-in links against it.
#pragma once

#include "platform/platform_export.h"

#if defined(NSTFEED_BUILDING)
#define NSTFEED_API ORVELLA_DLL_EXPORT
#else
#define NSTFEED_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// The plug-in needs the user's feed credentials; they arrive later through
// the plug-in's UserIDPasswordChanged.
NSTFEED_API void RequireUserIDPassword(void);

// Each pointer points at a 24-byte scratch buffer of the caller.
NSTFEED_API void GetUserIDPassword(char** userId, char** password);

// Prepares the series (symbol, interval) with that many columns.
NSTFEED_API void NSTSETUPDATA(const char* symbol, const char* description, float interval,
                              int columns, const char* category, double startDate);

// Labels column (from 1) of the series.
NSTFEED_API void NSTSETLABEL(const char* symbol, float interval, int column, const char* label);

// Sets one cell of the row under construction; column 1 is the date.
NSTFEED_API void NSTSETVALUE(const char* symbol, float interval, int column, double value);

// Appends the row under construction and begins a new one.
NSTFEED_API void NSTCOMMITROW(const char* symbol, float interval);

// Progress of the history load in progress, in percent.
NSTFEED_API void UpdatePercent(int percent);

#ifdef __cplusplus
}
#endif
