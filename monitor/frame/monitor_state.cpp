#include "monitor/frame/monitor_state.h"

namespace qz6::mon {

MonitorState g_monitor;

void ResetMonitorState()
{
    g_monitor = MonitorState{};
}

}  // namespace qz6::mon
