// The chart folder that nst-host writes at exit: one SVG chart per series and
// index.html, a page with the per-series summary table and every chart that
// a browser shows offline (no script, nothing from outside the folder).
#pragma once

#include <string>

#include "host/feed_store.h"

namespace nsthost {

// Writes every series' chart and index.html into dir (created if missing).
// Returns false and sets *error when a file cannot be written.
bool WriteCharts(const CFeedStore& store, const std::string& dir, std::string* error);

}  // namespace nsthost
