// The script of the chart page, inline in index.html: it draws each series'
// latest bars and lets the reader scroll, zoom and read a bar's values.
// Nothing is fetched from outside the page.
#pragma once

namespace nsthost {

extern const char kChartPageScript[];

}  // namespace nsthost
