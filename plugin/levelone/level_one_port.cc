#include "plugin/levelone/level_one_data.h"
#include "settings/corvan_ports.h"

namespace orvella {

uint16_t CLevelOneData::LevelOnePort() {
    if (m_nPortOverride != 0) {
        return m_nPortOverride;
    }
    CCorvanPorts ports;
    return ports.GetLevel1Port();
}

}  // namespace orvella
