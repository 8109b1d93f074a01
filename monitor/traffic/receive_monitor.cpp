#include "monitor/traffic/receive_monitor.h"

namespace qz6::mon {

// Not built yet.
void StartReceiveMonitor() {}

void StopReceiveMonitor() {}

}  // namespace qz6::mon
