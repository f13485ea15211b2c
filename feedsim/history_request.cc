#include "feedsim/history_request.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace feedsim {

namespace {

std::vector<std::string_view> SplitKeepingEmpty(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (true) {
        const size_t comma = line.find(',', pos);
        fields.push_back(
            line.substr(pos, comma == std::string_view::npos ? line.npos : comma - pos));
        if (comma == std::string_view::npos) {
            return fields;
        }
        pos = comma + 1;
    }
}

bool ParseCount(std::string_view text, int64_t* out) {
    if (text.empty()) {
        *out = 0;
        return true;
    }
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
    return ec == std::errc() && ptr == text.data() + text.size() && *out >= 0;
}

bool ParseOptionalDate(std::string_view text, bool* has, CivilSeconds* out) {
    *has = !text.empty();
    return text.empty() || ParseCompactDateTime(text, out);
}

bool ParseFilter(std::string_view begin, std::string_view end, CHistoryRequest* out) {
    out->filtered = !begin.empty() || !end.empty();
    return (begin.empty() || ParseHhmmss(begin, &out->filterBegin)) &&
           (end.empty() || ParseHhmmss(end, &out->filterEnd));
}

}  // namespace

bool ParseHistoryRequest(std::string_view line, CHistoryRequest* out, std::string* error) {
    *error = "!SYNTAX_ERROR!";
    std::vector<std::string_view> f = SplitKeepingEmpty(line);
    f.resize(std::max<size_t>(f.size(), 10));
    *out = CHistoryRequest();
    out->command = std::string(f[0]);
    out->symbol = std::string(f[1]);
    if (out->symbol.empty()) {
        return false;
    }
    if (f[0] == "HTT") {
        out->kind = HistoryKind::kTicks;
        return ParseOptionalDate(f[2], &out->hasStart, &out->start) &&
               ParseOptionalDate(f[3], &out->hasEnd, &out->end) && ParseFilter(f[5], f[6], out);
    }
    if (f[0] == "HIT") {
        out->kind = HistoryKind::kIntervalBars;
        int64_t seconds = 0;
        if (!ParseCount(f[2], &seconds) || seconds < 1 || seconds > kSecondsPerDay) {
            return false;
        }
        out->intervalSeconds = static_cast<int>(seconds);
        return ParseOptionalDate(f[3], &out->hasStart, &out->start) &&
               ParseOptionalDate(f[4], &out->hasEnd, &out->end) && ParseFilter(f[6], f[7], out);
    }
    if (f[0] == "HDX" || f[0] == "HWX" || f[0] == "HMX") {
        out->kind = f[0] == "HDX"   ? HistoryKind::kDailyBars
                    : f[0] == "HWX" ? HistoryKind::kWeeklyBars
                                    : HistoryKind::kMonthlyBars;
        return ParseCount(f[2], &out->maxPoints);
    }
    return false;
}

}  // namespace feedsim
