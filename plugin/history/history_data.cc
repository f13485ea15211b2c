#include "plugin/history/history_data.h"

namespace orvella {

// The one instantiation of the lookup socket the plug-in uses, beside its
// owner's type.
template class CLookupCSocket<CHistoryData*>;
template int ReadAvailable(CLookupCSocket<CHistoryData*>& socket);

}  // namespace orvella
