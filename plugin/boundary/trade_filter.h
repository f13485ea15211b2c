// The trade-time filter as the settings give it: two six-digit time texts.
#pragma once

#include <string>

#include "plugin/boundary/global_state.h"

namespace orvella {

// Reads the number at the start of a two-character group the way a decimal
// text prefix is read: optional blanks and sign, digits up to the first
// non-digit; no digits give 0.
int TimeGroupValue(std::wstring_view group);

// Sets tradeFilterOn (1 when the begin is not "000000" and the end is not
// "235959") and the six hour, minute and second groups from the filter texts
// already stored in state.
void ApplyTradeFilter(CGlobalState& state);

}  // namespace orvella
