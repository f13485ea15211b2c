// The short report nst-host prints at exit: one block per series and the
// progress it saw.
#pragma once

#include <string>

#include "host/feed_store.h"

namespace nsthost {

// The report as text, lines ended by line feeds.
std::string SummaryText(const CFeedStore& store);

// The series' interval as the summary and chart file names show it: the
// shortest round-trip text, negative zero as "-0.0".
std::string IntervalText(float interval);

// A cell value as the summary, the charts and the chart page show it: up to
// ten significant digits, "-" for NaN.
std::string ValueText(double value);

}  // namespace nsthost
