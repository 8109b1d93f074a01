// The receive monitor: "&Enable Communications" and "&Disable Communications".
#pragma once

namespace qz6::mon {

void StartReceiveMonitor();
void StopReceiveMonitor();

}  // namespace qz6::mon
