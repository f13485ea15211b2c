// The host library and the plug-in parts that a built plug-in installs when
// it is loaded. The shipped plug-in binds the host's NSTFeed library and the
// history and level-one subsystems; a test plug-in binds its own parts.
#pragma once

#include "plugin/boundary/host_feed.h"
#include "plugin/boundary/plugin_parts.h"

namespace orvella {

CHostFeed& BoundHostFeed();
CPluginParts& BoundPluginParts();

}  // namespace orvella
