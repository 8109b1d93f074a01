// Steps that several end-to-end tests take with a monitor: settings,
// window placement for readable pictures, sending, and what the
// simulator's command log must show.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"

namespace qz6::e2e {

// Polls on a 200 ms system timer; the default device ROZAR6O0.
extern const char* const kMonitorSettings;

// Where the windows go on the 1280 x 1024 screen, so that each picture
// shows its window whole: no window is covered by one that its owner keeps
// above it, and none reaches past the screen's edge.
struct Place {
    int x;
    int y;
};
constexpr Place kFirstMain{0, 0};
constexpr Place kFirstDetail{0, 505};
constexpr Place kSecondMain{515, 505};
constexpr Place kSecondSendFrames{817, 0};
constexpr Place kSecondDetail{770, 150};
constexpr Place kFirstSendFrames{515, 505};

// The main window at `place`, in a size that holds its monitor windows
// tiled; the second monitor's fills the screen's lower right corner.
void PlaceMainWindow(const Monitor& monitor, Place place);
// The open monitor windows side by side inside the main window, as an
// operator would drag them.
void TileMonitorWindows(const Monitor& monitor);
// A window of fixed size (Receive Detail, Send Frames) at `place`.
void PlaceWindow(HWND window, Place place);

// SEND in the Send Frames window with the Data box holding `data`.
void SendText(HWND send_frames, const char* data, bool as_text);

// Between the first and the last SEND_I_FRAME logged after `from` up to
// `to`, one frame went out per poll: one READ_STATISTICS between two
// consecutive frames (the sender shows Operational Statistics).
void ExpectOneFramePerPoll(unsigned adapter, uint32_t from, uint32_t to);
// Lines after the first two of a Receive Detail list: Send Many frames of
// `length` bytes, numbered from byte 00 on, none lost or reordered.
void ExpectStreamedFramesInOrder(const std::vector<std::string>& lines, unsigned length, unsigned at_least);
// Every handle of the adapter closed, and a DISABLE_COMMS accepted after
// `mark` and before any of the closes.
void ExpectDisableBeforeCloses(unsigned adapter, uint32_t mark);

// A monitor on ROZAR6O0 with a configuration set, the device open, every
// monitor window open and the receive monitor running.
void OpenFullSession(Monitor& monitor);

}  // namespace qz6::e2e
