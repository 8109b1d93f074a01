// The line traffic members of MonitorState: receive monitor, Send Frames
// window and its history.
#pragma once

namespace qz6::mon {

struct TrafficState {
};

}  // namespace qz6::mon
