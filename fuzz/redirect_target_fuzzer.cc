// A redirect's response headers: the "Location: " target and its split into
// server, object path and port, as the download follows it.
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "setup/redirect_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view headers(reinterpret_cast<const char*>(bytes), size);
    std::string target;
    const bool found = orvella::FindLocation(headers, &target);
    FUZZ_CHECK(found == (headers.find("Location: ") != std::string_view::npos));
    if (!found) {
        return 0;
    }
    // One header line's text: its line feed and the carriage return before
    // it are no part of it.
    FUZZ_CHECK(target.find('\n') == std::string::npos);
    const size_t at = headers.find("Location: ") + 10;
    FUZZ_CHECK(headers.substr(at, target.size()) == target);
    const std::string_view after = headers.substr(at + target.size());
    FUZZ_CHECK(after.empty() || after == "\r" || after.front() == '\n' ||
               after.substr(0, 2) == "\r\n");

    orvella::UrlParts parts;
    if (orvella::CrackUrl(target, &parts)) {
        FUZZ_CHECK(!parts.server.empty());
        FUZZ_CHECK(parts.server.find('/') == std::string::npos);
        FUZZ_CHECK(parts.server.find('@') == std::string::npos);
        FUZZ_CHECK(!parts.objectPath.empty() && parts.objectPath.front() == '/');
        FUZZ_CHECK(parts.port >= 0 && parts.port <= 65535);
        FUZZ_CHECK(target.find(parts.server) != std::string::npos);
    }
    return 0;
}
