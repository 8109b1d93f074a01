// The line traffic members of MonitorState: receive monitor, Send Frames
// window and its history.
//
// Ownership: the receive device handle, record, dump text and line count
// belong to the one receive thread while it runs; everything else belongs
// to the GUI thread (which alone keeps the thread's handle).
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
    HANDLE receive_device_handle = INVALID_HANDLE_VALUE;
    ReceiveRecord receive_record = {};
    char dump_text[kDumpTextSize] = {};
    int32_t receive_line_count = 0;

    // ---- Send Frames window
    bool send_as_text = false;
    char hex_text[kFrameTextSize] = {};
    FrameHistory frame_history = {};
    SendManyState send_many = {};
};

}  // namespace qz6::mon
