// Where the POSIX registry's store lives, and how its file is named to
// SQLite when it can only be read.
#pragma once

#include <string>

namespace platform::posix {

// Where the store lives: $ORVELLA_REGISTRY, else the user's configuration
// folder; empty without a home folder.
std::string ConfiguredPath();
// Creates the folders of path's parent, readable by the user only.
bool CreateParentFolders(const std::string& path);
// A file path as the path of a file: URI, every byte but the unreserved
// ones and '/' percent-encoded.
std::string UriPath(const std::string& path);

}  // namespace platform::posix
