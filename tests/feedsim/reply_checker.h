// An independent checker of the stand-in feed's lines, written from the
// layouts the plug-in reads (not from the generator's code): each function
// returns an empty text when the line is well formed, else what is wrong.
// Lines are given without their CR LF.
#pragma once

#include <cstdlib>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace feedsim_test {

inline std::vector<std::string> SplitAll(std::string_view line) {
    std::vector<std::string> fields;
    size_t pos = 0;
    while (true) {
        const size_t comma = line.find(',', pos);
        fields.emplace_back(line.substr(pos, comma == line.npos ? line.npos : comma - pos));
        if (comma == line.npos) {
            return fields;
        }
        pos = comma + 1;
    }
}

inline bool IsDecimal(const std::string& text) {
    static const std::regex kNumber(R"(-?[0-9]+(\.[0-9]+)?)");
    return std::regex_match(text, kNumber);
}

inline bool IsDateTime(const std::string& text) {
    static const std::regex kDateTime(
        R"((19|20)[0-9]{2}-(0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01]) ([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9])");
    return std::regex_match(text, kDateTime);
}

inline bool IsDate(const std::string& text) {
    static const std::regex kDate(R"((19|20)[0-9]{2}-(0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01]))");
    return std::regex_match(text, kDate);
}

// The date field, then `values` numbers, then `extra` checked by the caller,
// then the empty field after the trailing comma.
inline std::string CheckFields(std::string_view line, bool dateTime, size_t values,
                               std::vector<std::string>* fields) {
    *fields = SplitAll(line);
    if (fields->size() < values + 2) {
        return "too few fields";
    }
    if (dateTime ? !IsDateTime((*fields)[0]) : !IsDate((*fields)[0])) {
        return "bad date field '" + (*fields)[0] + "'";
    }
    for (size_t i = 1; i <= values; ++i) {
        if (!IsDecimal((*fields)[i])) {
            return "field F" + std::to_string(i) + " is no number: '" + (*fields)[i] + "'";
        }
    }
    if (!fields->back().empty()) {
        return "no trailing comma";
    }
    return "";
}

// Tick: date-time, F1-F8 numbers, F9 the trade marker C or E.
inline std::string CheckTickLine(std::string_view line) {
    std::vector<std::string> f;
    std::string why = CheckFields(line, true, 8, &f);
    if (why.empty() && f.size() != 11) {
        why = "tick lines have 10 fields and a trailing comma";
    }
    if (why.empty() && f[9] != "C" && f[9] != "E") {
        why = "trade marker '" + f[9] + "'";
    }
    if (why.empty()) {
        const double price = std::atof(f[1].c_str()), bid = std::atof(f[4].c_str()),
                     ask = std::atof(f[5].c_str());
        if (price <= 0 || bid <= 0 || ask < bid || std::atof(f[2].c_str()) <= 0) {
            why = "price, size or quote pair out of order";
        }
    }
    return why;
}

// Interval bar: date-time, F1 high, F2 low, F3 open, F4 close, F5, F6 volume, F7.
inline std::string CheckIntervalBarLine(std::string_view line) {
    std::vector<std::string> f;
    std::string why = CheckFields(line, true, 7, &f);
    if (why.empty()) {
        const double high = std::atof(f[1].c_str()), low = std::atof(f[2].c_str()),
                     open = std::atof(f[3].c_str()), close = std::atof(f[4].c_str());
        if (low > open || low > close || high < open || high < close ||
            std::atof(f[6].c_str()) <= 0) {
            why = "bar values out of order";
        }
    }
    return why;
}

// Day bar: date, F1 high, F2 low, F3 open, F4 close, F5 volume, F6.
inline std::string CheckDayBarLine(std::string_view line) {
    std::vector<std::string> f;
    std::string why = CheckFields(line, false, 6, &f);
    if (why.empty()) {
        const double high = std::atof(f[1].c_str()), low = std::atof(f[2].c_str()),
                     open = std::atof(f[3].c_str()), close = std::atof(f[4].c_str());
        if (low > open || low > close || high < open || high < close ||
            std::atof(f[5].c_str()) <= 0) {
            why = "bar values out of order";
        }
    }
    return why;
}

// Summary (P) or update (Q) line of the level-one port.
inline std::string CheckLevelOneLine(std::string_view line) {
    const std::vector<std::string> f = SplitAll(line);
    if (f.size() != 62) {
        return "62 fields expected, got " + std::to_string(f.size());
    }
    if (f[0] != "P" && f[0] != "Q") {
        return "type '" + f[0] + "'";
    }
    static const std::regex kTime(R"(([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9][tTb]?)");
    static const std::regex kUsDate(R"((0[1-9]|1[0-2])/(0[1-9]|[12][0-9]|3[01])/20[0-9]{2})");
    if (!std::regex_match(f[17], kTime)) {
        return "time field '" + f[17] + "'";
    }
    if (!std::regex_match(f[30], kUsDate)) {
        return "date field '" + f[30] + "'";
    }
    for (int i : {3, 6, 7, 8, 9, 10, 11, 12, 13, 19, 32, 40}) {
        if (!IsDecimal(f[i])) {
            return "field " + std::to_string(i) + " is no number: '" + f[i] + "'";
        }
    }
    return "";
}

// A streamed update line (a trade) in the layout of a tick history line, so
// what was streamed can be compared with the history.
inline std::string AsTickLine(std::string_view update) {
    const std::vector<std::string> f = SplitAll(update);
    const std::string& date = f[30];  // MM/DD/YYYY
    return date.substr(6, 4) + "-" + date.substr(0, 2) + "-" + date.substr(3, 2) + " " +
           f[17].substr(0, 8) + "," + f[32] + "," + f[7] + "," + f[6] + "," + f[10] + "," + f[11] +
           "," + f[14] + "," + f[12] + "," + f[13] + "," + (f[17].back() == 'T' ? "E" : "C") + ",";
}

// Admin status: at least 21 non-empty fields; the 13th is the state.
inline std::string AdminState(std::string_view line) {
    std::vector<std::string> nonEmpty;
    for (std::string& f : SplitAll(line)) {
        if (!f.empty()) {
            nonEmpty.push_back(std::move(f));
        }
    }
    return nonEmpty.size() >= 21 ? nonEmpty[12] : "";
}

}  // namespace feedsim_test
