// The line test's member of MonitorState.
//
// Ownership: the GUI thread starts and ends a run; it alone opens and
// closes the run's device handles, keeps the threads' handles, and reads
// and writes everything here while no run is on. During a run the send
// thread owns `send_block` and alone sends on `send_device`; the receive
// thread owns `receive_block` and `record` and alone receives on
// `receive_device`. What both threads and the GUI thread look at (the
// course of the run with its tally, and the ending) is shared under `lock`,
// held only to copy in or out or to note a frame. The plan, the handles and the events are set before the
// threads start and stay as they are until both have ended.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/adapter_names.h"
#include "common/stream_protocol.h"
#include "monitor/line_test/line_test_course.h"
#include "monitor/line_test/line_test_text.h"

namespace qz6::mon {

struct LineTestShared {
    LineTestCourse course;     // times of CounterUs()
    bool ended;                // the ending below is decided
    LineTestEnding ending;
    char failure[kLineTestFailureSize];
};

struct LineTestState {
    // ---- GUI thread
    bool running = false;
    uint32_t run_number = 0;   // tells a stale end note from the run's own
    uint16_t frame_run = 0;    // the number the run's frames carry
    LineTestPlan plan = {};
    char sender_name[kDeviceNameMax + 1] = {};  // this adapter's device name
    uint32_t baud_rate = 0;    // the configured bit rate of this adapter
    uint32_t drain_ms = 0;     // the wait after the last send for frames still on their way
    uint32_t in_flight_limit = 0;  // frames on their way at most: the receiving adapter's receive buffers
    bool enabled_sender = false;    // the run enabled communications on this adapter...
    bool enabled_receiver = false;  // ...and on the partner
    HANDLE send_thread = nullptr;
    HANDLE receive_thread = nullptr;

    // ---- Set before the threads start (with the plan and the names above),
    // fixed while they run
    HWND window = nullptr;
    HANDLE send_device = INVALID_HANDLE_VALUE;     // this adapter
    HANDLE receive_device = INVALID_HANDLE_VALUE;  // this adapter again, or the partner
    HANDLE stop_event = nullptr;       // manual reset: the run is to end now
    HANDLE receiver_ready = nullptr;   // manual reset: stale frames are off the receive queue

    // ---- Shared, under `lock`
    SRWLOCK lock = SRWLOCK_INIT;
    LineTestShared shared = {};

    // ---- The threads' own
    CommandBlock send_block = {};
    CommandBlock receive_block = {};
    ReceiveRecord record = {};
};

}  // namespace qz6::mon
