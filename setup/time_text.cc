#include "setup/time_text.h"

#include <cstdio>

namespace orvella {

namespace {

int PairValue(std::string_view text, size_t start) {
    int value = 0;
    for (size_t i = start; i < start + 2 && i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            break;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

bool ParseTimeText(std::string_view text, SetupTime* time) {
    const SetupTime parsed{PairValue(text, 0), PairValue(text, 2), PairValue(text, 4)};
    if (parsed.hour > 23 || parsed.minute > 59 || parsed.second > 59)
        return false;
    *time = parsed;
    return true;
}

std::string FormatTimeText(const SetupTime& time) {
    char text[16];
    std::snprintf(text, sizeof(text), "%02d%02d%02d", time.hour, time.minute, time.second);
    return text;
}

std::string FormatPickerTime(const SetupTime& time) {
    char text[16];
    std::snprintf(text, sizeof(text), "%02d:%02d:%02d", time.hour, time.minute, time.second);
    return text;
}

}  // namespace orvella
