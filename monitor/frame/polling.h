// The polling engine: when a poll is due, every monitor window and then the
// Send Frames window get WM_POLL_TICK, synchronously. GUI thread only.
#pragma once

#include <windows.h>

namespace qz6::mon {

// One call from the loop (an idle pass or an enter-idle notification, not
// forced), from the timer or from "&Poll Now to Update Windows" (forced).
void Poll(bool forced);

// Installs the system timer that drives polls; warns when none is left.
void InstallPollingTimer();
void KillPollingTimer();

// Handling of WM_ENTERIDLE: keeps counting while a modal dialog or a menu
// runs its own loop.
void PollWhileModal(HWND idle_window);

}  // namespace qz6::mon
