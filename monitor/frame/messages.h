// The monitor's private window messages. No Windows header.
#pragma once

#include <cstdint>

namespace qz6::mon {

// Sent to every monitor window, then to the Send Frames window: refresh now.
inline constexpr uint32_t WM_POLL_TICK = 0x4000;
// Posted to the main window by a monitor window that closes itself;
// wParam is that window.
inline constexpr uint32_t WM_DESTROY_CHILD = 0x4001;
// Posted to the window named by WM_ENTERIDLE so that the modal loop of a
// dialog or menu runs another idle cycle.
inline constexpr uint32_t WM_IDLE_NUDGE = 0x4005;
// Posted to the Receive Detail window by the receive thread when it has
// handed over frames to show and no such note is pending.
inline constexpr uint32_t WM_RECEIVE_UPDATE = 0x4006;
// Posted to the Polling window by ExecuteCommand when the mirror of the
// last command has changed and no such note is pending.
inline constexpr uint32_t WM_MIRROR_UPDATE = 0x4007;
// Posted to the Line Test window by the run's send thread when the run has
// ended by itself; wParam is the run's number.
inline constexpr uint32_t WM_LINE_TEST_DONE = 0x4008;
// Posted to the main window by the capture's writer thread when the
// capture stopped by itself (a failed write).
inline constexpr uint32_t WM_CAPTURE_ENDED = 0x4009;

}  // namespace qz6::mon
