// The capture's member of MonitorState.
//
// Ownership: the GUI thread starts and stops a capture, owns this record
// and the timer that watches it. The frames themselves go through the
// capture output (common/win32/capture_output.h), which the recorder keeps
// beside this record: the threads that see frames (the receive thread, the
// line test's send thread, the GUI thread itself for Send Frames) hand
// them to it, and its writer thread writes the file.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/stream_protocol.h"
#include "monitor/capture/capture_text.h"

namespace qz6::mon {

struct CaptureState {
    bool running = false;
    bool recording = false;           // the receive monitor has run since the start
    UINT_PTR timer = 0;
    char path[kCapturePathSize] = {};
    bool errors_known = false;        // errors_at_start was read
    CommErrorsReply errors_at_start = {};
    // Set before the output accepts frames; read by the senders (atomically).
    bool include_sent = false;
};

}  // namespace qz6::mon
