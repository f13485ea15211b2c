#include "setup/redirect_target.h"

namespace orvella {

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if ((a[i] | 0x20) != (b[i] | 0x20))
            return false;
    }
    return true;
}

}  // namespace

bool FindLocation(std::string_view headers, std::string* target) {
    constexpr std::string_view kLocation = "Location: ";
    const size_t found = headers.find(kLocation);
    if (found == std::string_view::npos)
        return false;
    std::string_view rest = headers.substr(found + kLocation.size());
    rest = rest.substr(0, rest.find('\n'));
    if (!rest.empty() && rest.back() == '\r')
        rest.remove_suffix(1);
    target->assign(rest);
    return true;
}

bool CrackUrl(std::string_view url, UrlParts* parts) {
    const size_t schemeEnd = url.find("://");
    if (url.empty() || schemeEnd == std::string_view::npos)
        return false;
    const std::string_view scheme = url.substr(0, schemeEnd);
    long defaultPort = 0;
    if (SameIgnoringCase(scheme, "http")) {
        defaultPort = 80;
    } else if (SameIgnoringCase(scheme, "https")) {
        defaultPort = 443;
    } else if (SameIgnoringCase(scheme, "ftp")) {
        defaultPort = 21;
    } else if (SameIgnoringCase(scheme, "gopher")) {
        defaultPort = 70;
    } else {
        return false;
    }
    std::string_view rest = url.substr(schemeEnd + 3);
    const size_t pathStart = rest.find('/');
    std::string_view authority = rest.substr(0, pathStart);
    const std::string_view path =
        pathStart == std::string_view::npos ? std::string_view("/") : rest.substr(pathStart);
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    long port = defaultPort;
    const size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos) {
        const std::string_view digits = authority.substr(colon + 1);
        if (digits.empty() || digits.size() > 5)
            return false;
        port = 0;
        for (char c : digits) {
            if (c < '0' || c > '9')
                return false;
            port = port * 10 + (c - '0');
        }
        if (port > 65535)
            return false;
        authority = authority.substr(0, colon);
    }
    if (authority.empty())
        return false;
    parts->server.assign(authority);
    parts->objectPath.assign(path);
    parts->port = port;
    return true;
}

}  // namespace orvella
