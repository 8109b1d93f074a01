// The Send Frames window.
#pragma once

namespace qz6::mon {

// "&Send Frames...": opens the modeless window unless it is open already.
void OpenSendFramesWindow();

}  // namespace qz6::mon
