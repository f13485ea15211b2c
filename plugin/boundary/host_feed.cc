#include "plugin/boundary/host_feed.h"

#include <cstdlib>

namespace orvella {

namespace {
CHostFeed* g_hostFeed = nullptr;
}

CHostFeed& HostFeed() {
    if (g_hostFeed == nullptr) {
        // A call before the binding is installed is a programming error.
        std::abort();
    }
    return *g_hostFeed;
}

void SetHostFeed(CHostFeed* feed) {
    g_hostFeed = feed;
}

}  // namespace orvella
