// The host's bar intervals (minutes as a 32-bit float) and the history
// request each one names.
#pragma once

#include <string>

namespace orvella {

// The request type for a bar interval in minutes: "HTT" (0, negative zero
// too), "HIT" (above 0 and below 1440), "HDX" (1440), "HWX" (10080), "HMX"
// (43200 or 302400); empty for any other value, NaN included.
std::wstring HistoryRequestType(float interval);

// True when the interval names a request. Only such a series is watched for
// streaming, so that a later remove with the same interval finds it (a NaN
// never equals itself, and no rows of an unknown interval reach a chart).
bool NamesRequest(float interval);

}  // namespace orvella
