#include "plugin/boundary/global_state.h"

namespace orvella {

CGlobalState& Globals() {
    static CGlobalState state;
    return state;
}

}  // namespace orvella
