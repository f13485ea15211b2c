// Time text: six decimal digits HHMMSS on a 24-hour clock.
#pragma once

#include <string>
#include <string_view>

#include "setup/setup_view.h"

namespace orvella {

// Hours from characters 1-2, minutes from 3-4, seconds from 5-6; each pair
// converted from its leading decimal digits, a missing pair or one without a
// leading digit counting as 0. Returns false (time unchanged) when a part is
// out of range for a time of day (hours above 23, minutes or seconds above
// 59), which the time pickers cannot show.
bool ParseTimeText(std::string_view text, SetupTime* time);

// "%H%M%S".
std::string FormatTimeText(const SetupTime& time);

// "HH:mm:ss", the pickers' display format.
std::string FormatPickerTime(const SetupTime& time);

}  // namespace orvella
