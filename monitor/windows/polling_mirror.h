// What the Polling window shows of the commands and polls: the name of the
// last command started, its result ("----" while it runs), the result of
// the last active command, and the tick indicator. ExecuteCommand and the
// poll keep it here, at no cost to either; the window takes it over when
// the message loop next runs, so that a poll of several commands paints the
// window once, not three times a command.
#pragma once

#include <cstdint>

namespace qz6::mon {

struct PollingMirror {
    char command[32];
    char result[8];
    char active_result[8];
    bool active_result_changed;  // only active commands write their field
    bool tick_checked;
    bool update_posted;  // a WM_MIRROR_UPDATE is on its way to the window
};

// GUI thread: the mirror has changed; the window is told once, by a posted
// note, however often it changes before the loop runs.
void NotePollingMirrorChanged();

// GUI thread: brings the Polling window up to the mirror, writing only what
// differs from what it shows.
void ShowPollingMirror();

}  // namespace qz6::mon
