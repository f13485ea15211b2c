#include "plugin/boundary/plugin_parts.h"

#include <cstdlib>

namespace orvella {

namespace {
CPluginParts* g_parts = nullptr;
}

CPluginParts& PluginParts() {
    if (g_parts == nullptr) {
        std::abort();
    }
    return *g_parts;
}

void SetPluginParts(CPluginParts* parts) {
    g_parts = parts;
}

}  // namespace orvella
