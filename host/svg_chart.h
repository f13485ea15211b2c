// Pictures of the recorded series: one self-contained SVG file per series,
// price over time above, volume below, one mark per row. History rows and
// streamed rows differ by class and colour.
#pragma once

#include <string>

#include "host/feed_store.h"

namespace nsthost {

// The SVG document of one series.
std::string SeriesChart(const CSeries& series);

// File name of a series' chart: the symbol with every byte other than
// letters, digits, '-', '.' and '_' written %XX, then '_', the interval and
// ".svg" ("ABC_-5.svg", "ABC_-0.0.svg").
std::string ChartFileName(const SeriesKey& key);

// Writes every series' chart into dir (created if missing). Returns false and
// sets *error when a file cannot be written.
bool WriteCharts(const CFeedStore& store, const std::string& dir, std::string* error);

}  // namespace nsthost
