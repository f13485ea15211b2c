#include "testing/programs.h"

namespace orvella::testing {

const CPrograms& BuildPrograms() {
    static const CPrograms programs{
        {}, ORVELLA_NST_HOST_PATH, ORVELLA_PLUGIN_PATH, ORVELLA_FEED_SIM_PATH, ORVELLA_BIN_DIR};
    return programs;
}

}  // namespace orvella::testing
