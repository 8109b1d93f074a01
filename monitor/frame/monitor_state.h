// MonitorState: everything qz6mon knows, one record for the whole run.
//
// Owned by the GUI thread. The receive thread reads the device name, the
// Receive Detail window handle and the two display flags, and shares the
// receive handoff under its lock (traffic_state.h says which is whose).
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

#include "common/adapter_names.h"
#include "common/default_configuration.h"
#include "common/stream_protocol.h"
#include "monitor/capture/capture_state.h"
#include "monitor/channel/configuration_codec.h"
#include "monitor/channel/replies.h"
#include "monitor/channel/session_rules.h"
#include "monitor/line_test/line_test_state.h"
#include "monitor/traffic/traffic_state.h"
#include "monitor/windows/polling_mirror.h"

namespace qz6::mon {

// More than the five monitor windows the main window can ever hold.
inline constexpr size_t kMaxMonitorWindowsListed = 32;

struct MonitorState {
    HINSTANCE instance = nullptr;
    HWND main_window = nullptr;
    HMENU main_menu = nullptr;

    // Device session. The handle is INVALID_HANDLE_VALUE whenever no device
    // is open, never the value of a closed handle.
    char device_name[kDeviceNameMax + 1] = {};
    HANDLE device_handle = INVALID_HANDLE_VALUE;
    bool device_open = false;

    // Polling engine.
    bool use_timer = false;
    bool timer_active = false;
    uint16_t timer_period_ms = 0;
    uint32_t ticks_per_poll = 0;
    uint32_t tick_counter = 0;
    bool polling_suspended = false;
    bool idle_polling_stopped = true;
    bool auto_arrange = false;
    // The main window is being destroyed: nothing is opened any more.
    bool main_window_ending = false;

    // The monitor windows in the window system's order, as last listed.
    // Listing a window's children asks the window server once a child,
    // more than the commands of a poll cost; so the list is kept, and a
    // monitor window created, destroyed or moved in that order marks it
    // stale (FilterMonitorWindowMessage).
    std::array<HWND, kMaxMonitorWindowsListed> monitor_windows = {};
    size_t monitor_window_count = 0;
    bool monitor_windows_stale = true;

    // Windows outside the monitor-window family, and the Polling window,
    // which the command channel writes into. The Polling window handle is
    // live only while its menu item is checked.
    HWND polling_window = nullptr;
    // What the Polling window is to show of the last command; written into
    // its controls when the message loop next runs (PollingMirror).
    PollingMirror polling_mirror = {};
    HWND send_frames_window = nullptr;
    HWND receive_detail_window = nullptr;
    HWND line_test_window = nullptr;

    // The one command block of the program.
    CommandBlock command_block = {};

    // What the device reported at the last successful open: the whole
    // READ_CONFIGURATION reply and the code version ("?.??" when it was
    // not read). Both outlive a close until the next open replaces them.
    CommandBlock saved_configuration = {};
    char version_text[kVersionTextSize] = {};

    // The configuration "Configure &Device" sends; held for this run only.
    ConfigurationToSend configuration_to_send = DefaultConfiguration();

    // What the data windows show, reset each time a window opens.
    LinkStatusShown link_status_shown = {};
    uint8_t modem_lines_shown = kModemLinesStart;
    CommandBlock saved_statistics = {};
    CommandBlock saved_comm_errors = {};

    // Receive monitor and Send Frames window.
    TrafficState traffic = {};

    // The line test's run and the capture (their headers say which thread
    // owns what).
    LineTestState line_test = {};
    CaptureState capture = {};
};

extern MonitorState g_monitor;

// Puts every member back to its value at program start.
void ResetMonitorState();

}  // namespace qz6::mon
