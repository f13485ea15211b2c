#include "plugin/history/lookup_socket.h"

#include "plugin/history/history_data.h"

namespace orvella {

// The one instantiation the plug-in uses.
template class CLookupCSocket<CHistoryData*>;
template int ReadAvailable(CLookupCSocket<CHistoryData*>& socket);

}  // namespace orvella
