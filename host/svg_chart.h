// Pictures of the recorded series: one self-contained SVG file per series,
// candlesticks (OHLC bars when dense, dots for ticks) on a trading-time axis
// above, volume below. What is drawn comes from host/chart_model.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "host/chart_model.h"
#include "host/feed_store.h"

namespace nsthost {

// The SVG document of one series, drawn from data (BuildBars of the series).
std::string SeriesChart(const CSeries& series, const ChartData& data);

// Longest chart file name, in bytes: what every common file system takes.
inline constexpr size_t kMaxChartFileName = 255;

// File name of a series' chart: the symbol with every byte other than
// letters, digits, '-', '.' and '_' written %XX (a leading '.' too, so no
// name is hidden or names a folder), then '_', the interval and ".svg"
// ("ABC_-5.svg", "ABC_-0.0.svg"). A name that would pass kMaxChartFileName
// keeps the front of the symbol, then '~' and a 16-digit hash of the whole
// symbol before the '_'.
std::string ChartFileName(const SeriesKey& key);

// Appends text to XML or HTML markup: the five special characters as
// entities, bytes from 0x80 as Latin-1 character references, other control
// characters but the tab as '?'.
void AppendMarkupText(std::string_view text, std::string* out);

}  // namespace nsthost
