// The chart folder that nst-host writes at exit: one SVG chart per series and
// index.html, a page with the per-series summary table and, per series, a
// chart its inline script draws from the series' latest bars (scroll, zoom,
// crosshair) above the whole series' SVG. The page fetches nothing from
// outside the folder and needs no network.
#pragma once

#include <string>

#include "host/feed_store.h"

namespace nsthost {

// Writes every series' chart and index.html into dir (created if missing).
// Returns false and sets *error when a file cannot be written.
bool WriteCharts(const CFeedStore& store, const std::string& dir, std::string* error);

}  // namespace nsthost
