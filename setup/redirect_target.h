// Following one redirect: the target named by the response's "Location: "
// header, split as a URL into server, object path and port.
#pragma once

#include <string>
#include <string_view>

namespace orvella {

// Finds "Location: " (exactly so) in the response headers and returns in
// *target the text after it up to the next line feed, without the line end.
// False when the headers hold no "Location: ".
bool FindLocation(std::string_view headers, std::string* target);

struct UrlParts {
    std::string server;
    std::string objectPath;  // "/" when the URL names none
    long port = 0;
};

// Splits "scheme://[user@]server[:port][/path]". The scheme must be one the
// internet client knows (http, https, ftp, gopher; any case) and chooses the
// port when none is given; otherwise it does not matter. False when the URL
// is empty, has no known scheme, no server or a port that is not a number.
bool CrackUrl(std::string_view url, UrlParts* parts);

}  // namespace orvella
