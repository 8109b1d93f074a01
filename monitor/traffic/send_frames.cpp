#include "monitor/traffic/send_frames.h"

namespace qz6::mon {

// Not built yet.
void OpenSendFramesWindow() {}

}  // namespace qz6::mon
