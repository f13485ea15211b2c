// The column layouts in which a requested series is announced to the host,
// and the series key that names the series in every later host call.
#pragma once

#include <vector>

#include "plugin/boundary/host_feed.h"

namespace orvella {

enum class LayoutStyle {
    kStreaming,      // streaming on, bars: Date/Time, Close, Volume
    kTickStreaming,  // interval 0: Date/Time, TickPrice, TickVol, TickType
    kHistory,        // streaming off, bars: the host's own column names
};

LayoutStyle ChooseLayout(bool streamingEnabled, float interval);

// The interval that names the series for the host: the bar interval times -1
// in both streaming layouts and for ticks (so ticks use -0.0), the interval
// itself in the history layout.
float SeriesKey(bool streamingEnabled, float interval);

// Cuts the host's comma-separated column names in place (each comma becomes
// a NUL) and returns the start of every name. A trailing comma adds no name;
// an empty or null text has none.
std::vector<const char*> SplitColumnNames(char* names);

// Logs the style and announces the series: NSTSETUPDATA, then NSTSETLABEL
// for each column from 1. columnNames is cut in place in the history layout.
void AnnounceSeries(CHostFeed& host, LayoutStyle style, const char* symbol, const char* description,
                    const char* category, double startDate, float interval, char* columnNames);

}  // namespace orvella
