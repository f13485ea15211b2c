#include "feedsim/admin_status.h"

#include <cstdio>

namespace feedsim {

namespace {

std::string CleanText(const std::string& text) {
    std::string clean = text;
    for (char& c : clean) {
        if (c == ',' || c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return clean.find_first_not_of(' ') == std::string::npos ? "none" : clean;
}

std::string StatusTime(CivilSeconds t) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const CivilDateTime dt = BreakDown(t);
    const int hour12 = dt.hour % 12 == 0 ? 12 : dt.hour % 12;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%s %02d %d:%02d%s", kMonths[dt.month - 1], dt.day, hour12,
                  dt.minute, dt.hour < 12 ? "AM" : "PM");
    return buffer;
}

}  // namespace

std::string FormatAdminStatus(const CAdminStatus& status) {
    char kbSent[32];
    std::snprintf(kbSent, sizeof kbSent, "%.2f", static_cast<double>(status.bytesSent) / 1024.0);
    std::string line = "S,STATS,127.0.0.1,";
    line += std::to_string(status.level1Port) + ",";
    line += std::to_string(status.maxSymbols) + ",";
    line += std::to_string(status.watchedSymbols) + ",";
    line += std::to_string(status.clients) + ",0,0,0,";
    line += StatusTime(status.started) + ",";
    line += StatusTime(status.now) + ",";
    line += status.connected ? "Connected," : "Not Connected,";
    line += "6.2.0.25,";
    line += CleanText(status.login) + ",0.00,0.00,0.00,";
    line += std::string(kbSent) + ",0.00,0.00,";
    line += CleanText(status.product) + "," + CleanText(status.productVersion) + "\r\n";
    return line;
}

}  // namespace feedsim
