// The capture: the capture output that writes the file, and the GUI
// thread's timer that watches it.
//
// The threads that see frames hand them to the capture output (see
// common/win32/capture_output.h), whose own thread writes them out; nothing
// of theirs ever waits for the file. The GUI thread's timer (every 250 ms,
// also inside modal loops) stops the capture when the output has stopped
// on a failed write, and when a receive monitor it recorded from has ended
// (the line went away or another program disabled communications; the
// operator's "&Disable Communications" stops it at once; a run shorter
// than a tick counts, since the receive monitor says when it starts), and
// keeps the main window's title up to date. A frame that finds the spool
// full is counted and shown in the title, never dropped in silence. See
// capture_state.h for who owns what.
#include <atomic>
#include <cstring>

#include "common/capture/capture_spool.h"
#include "common/formatted_text.h"
#include "common/stream_protocol.h"
#include "common/win32/capture_output.h"
#include "common/win32/message_box.h"
#include "monitor/capture/capture.h"
#include "monitor/channel/command_channel.h"
#include "monitor/channel/replies.h"
#include "monitor/frame/main_window.h"
#include "monitor/frame/messages.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/traffic/receive_monitor.h"

namespace qz6::mon {
namespace {

constexpr UINT kWatchIntervalMs = capture::kWriteIntervalMs;
constexpr const char* kCaptureCaption = "Capture to File";

// The output and its spool's buffers: too large for MonitorState, which
// is renewed by assignment.
capture::CaptureOutput g_output;

CaptureState& Capture() { return g_monitor.capture; }

void Warn(const char* text) { ShowMessageBox(g_monitor.main_window, text, kCaptureCaption, MB_ICONEXCLAMATION | MB_OK); }

bool ReadCommErrors(CommErrorsReply& errors)
{
    if (!g_monitor.device_open || ExecuteCommandWithoutData(READ_COMM_ERRORS) != RETURN_SUCCESS)
        return false;
    errors = DecodeCommErrorsReply(g_monitor.command_block);
    return true;
}

CaptureSource Source()
{
    if (Capture().recording)
        return CaptureSource::ReceiveMonitor;
    // Receive Detail without its thread: frozen after the line went away.
    return g_monitor.receive_detail_window != nullptr && !ReceiveMonitorRunning() ? CaptureSource::NextRestart
                                                                                   : CaptureSource::NextEnable;
}

void ShowCaptureTitle()
{
    const capture::OutputStatus status = capture::ReadOutputStatus(g_output);
    char title[kCaptureTitleSize];
    char shown[kCaptureTitleSize] = {};
    CaptureTitle(kMainTitle, status.frames, Source(), status.overflowed, title);
    GetWindowTextA(g_monitor.main_window, shown, sizeof shown);
    if (std::strcmp(title, shown) != 0)
        SetWindowTextA(g_monitor.main_window, title);
}

void WarnOfFault(const capture::OutputStatus& status)
{
    char text[kCaptureMessageSize];
    CaptureFaultText(Capture().path, status.fault, status.error, text);
    Warn(text);
}

void CALLBACK OnWatchTimer(HWND, UINT, UINT_PTR, DWORD) { WatchCapture(); }

}  // namespace

void WatchCapture()
{
    CaptureState& capture = Capture();
    if (!capture.running)
        return;
    const bool monitor_running = ReceiveMonitorRunning();
    if (capture::ReadOutputStatus(g_output).fault != capture::OutputFault::None ||
        (capture.recording && !monitor_running)) {
        StopCapture();
        return;
    }
    capture.recording = capture.recording || monitor_running;
    ShowCaptureTitle();
}

bool StartCapture(const CaptureChoice& choice)
{
    CaptureState& capture = Capture();
    if (capture.running)
        return false;
    std::memcpy(capture.path, choice.path, sizeof capture.path);
    capture.path[sizeof capture.path - 1] = '\0';
    std::atomic_ref<bool>(capture.include_sent).store(choice.include_sent, std::memory_order_relaxed);
    capture.errors_known = ReadCommErrors(capture.errors_at_start);
    const capture::InterfaceDescription adapter{g_monitor.device_name, choice.encoding};
    capture::OutputSetup setup{capture::kMonitorApplication, {&adapter, 1}};
    setup.path = capture.path;
    setup.notify_window = g_monitor.main_window;
    setup.notify_message = WM_CAPTURE_ENDED;
    if (!capture::OpenCaptureOutput(g_output, setup)) {
        WarnOfFault(capture::ReadOutputStatus(g_output));
        return false;
    }
    capture.timer = SetTimer(nullptr, 0, kWatchIntervalMs, OnWatchTimer);
    if (capture.timer == 0) {
        capture::CloseCaptureOutput(g_output, {});
        Warn("No timer is left to watch the capture with; it has not started.");
        return false;
    }
    capture.running = true;
    capture.recording = ReceiveMonitorRunning();
    SetMenuCheck(IDM_CAPTURE_TO_FILE, true);
    ShowCaptureTitle();
    return true;
}

void StopCapture()
{
    CaptureState& capture = Capture();
    if (!capture.running)
        return;
    // The adapter's drops over the capture go into its statistics block.
    CommErrorsReply errors_at_end = {};
    const bool dropped_known = capture.errors_known && ReadCommErrors(errors_at_end);
    const uint64_t dropped = dropped_known ? capture::FramesDroppedBetween(capture.errors_at_start, errors_at_end) : 0;
    const capture::OutputStatus status = capture::CloseCaptureOutput(g_output, {&dropped, 1});
    KillTimer(nullptr, capture.timer);
    capture.timer = 0;
    capture.running = false;
    capture.recording = false;
    SetMenuCheck(IDM_CAPTURE_TO_FILE, false);
    SetWindowTextA(g_monitor.main_window, kMainTitle);
    if (status.fault != capture::OutputFault::None) {
        WarnOfFault(status);
    } else if (status.overflowed > 0) {
        char text[kCapturePathSize + 128];
        FormatInto(text, "The capture file %s is complete, but %u frames did not fit the capture's buffer and are not in it.",
                   capture.path, static_cast<unsigned>(status.overflowed));
        Warn(text);
    }
}

void ToggleCapture()
{
    if (Capture().running) {
        StopCapture();
        return;
    }
    CaptureChoice choice;
    if (RunCaptureDialog(choice))
        StartCapture(choice);
}

bool CaptureRunning() { return Capture().running; }

void CaptureReceiveMonitorStarted()
{
    CaptureState& capture = Capture();
    if (capture.running) {
        capture.recording = true;
        ShowCaptureTitle();
    }
}

void CaptureReceiveMonitorStopped()
{
    if (Capture().recording)
        StopCapture();
}

void CaptureReceivedFrame(const ReceiveRecord& record) { capture::CaptureReceived(g_output, 0, record); }

void CaptureSentFrame(const uint8_t* data, uint16_t length)
{
    if (capture::OutputAccepting(g_output) &&
        std::atomic_ref<bool>(Capture().include_sent).load(std::memory_order_relaxed))
        capture::CaptureSent(g_output, 0, {data, length});
}

}  // namespace qz6::mon
