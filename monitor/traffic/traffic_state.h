// The line traffic members of MonitorState: receive monitor, Send Frames
// window and its history.
//
// Ownership: the receive device handle and record belong to the one receive
// thread while it runs; the handoff is shared, always under handoff_lock,
// which either thread holds only to copy into or out of it; the two display
// flags are written by the GUI thread and read by the receive thread
// (atomically). Everything else belongs to the GUI thread (which alone keeps
// the thread's handle).
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/stream_protocol.h"
#include "monitor/traffic/receive_text.h"
#include "monitor/traffic/send_text.h"

namespace qz6::mon {

struct TrafficState {
    // ---- Receive monitor
    // Handle of the receive thread, held from its start until its end has
    // been seen, so that a new start never runs beside it.
    HANDLE receive_thread = nullptr;
    bool start_or_stop_running = false;
    HANDLE receive_device_handle = INVALID_HANDLE_VALUE;
    ReceiveRecord receive_record = {};

    // The states of "Display received frames" and "Count:", kept by the
    // GUI thread when they are clicked, read by the receive thread for
    // every frame.
    bool display_frames = true;
    bool count_frames = true;

    // Frames handed from the receive thread to the GUI thread, and whether
    // the thread has posted the window a note that is not yet handled.
    SRWLOCK handoff_lock = SRWLOCK_INIT;
    ReceiveHandoff handoff = {};
    bool update_posted = false;

    // What the Receive Detail window shows: the GUI thread's side.
    ReceiveShown shown = {};
    ReceiveUpdate update = {};
    DWORD last_shown_ms = 0;
    char dump_text[kDumpTextSize] = {};
    int32_t receive_line_count = 0;

    // ---- Send Frames window
    bool send_as_text = false;
    char hex_text[kFrameTextSize] = {};
    FrameHistory frame_history = {};
    SendManyState send_many = {};
};

}  // namespace qz6::mon
