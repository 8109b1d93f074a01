// The capture's member of MonitorState.
//
// Ownership: the GUI thread starts and stops a capture, owns the file and
// the timer, and writes the spool's taken buffer out. The threads that see
// frames (the receive thread, the line test's send thread, the GUI thread
// itself for Send Frames) append to the spool under `lock`, which the GUI
// thread also holds only to swap the spool's buffers. They look at
// `accepting` first, without the lock: while no capture runs, that look is
// all a frame costs them.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/capture/capture_spool.h"
#include "common/stream_protocol.h"
#include "monitor/capture/capture_text.h"

namespace qz6::mon {

struct CaptureState {
    // ---- GUI thread
    bool running = false;
    bool recording = false;           // the receive monitor has run since the start
    HANDLE file = INVALID_HANDLE_VALUE;
    UINT_PTR timer = 0;
    char path[kCapturePathSize] = {};
    bool errors_known = false;        // errors_at_start was read
    CommErrorsReply errors_at_start = {};
    uint64_t start_us = 0;
    uint64_t host_origin_us = 0;      // the time of day, since 1970, at...
    uint64_t counter_origin_us = 0;   // ...this reading of CounterUs()

    // ---- Shared, under `lock`
    SRWLOCK lock = SRWLOCK_INIT;
    bool accepting = false;           // also read without the lock, atomically
    bool include_sent = false;
    capture::CaptureSpool spool;
    capture::CaptureClock clock = {};
};

}  // namespace qz6::mon
