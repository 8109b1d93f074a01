// "Capture to File": the CAPTURE dialog (capture_dialog.cpp) and the
// capture it starts (capture_recorder.cpp), which writes what the receive
// monitor receives and, when asked, what the monitor sends into a pcapng
// file.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/capture/capture_types.h"
#include "common/stream_protocol.h"
#include "monitor/capture/capture_text.h"

namespace qz6::mon {

// What the CAPTURE dialog leaves after OK.
struct CaptureChoice {
    char path[kCapturePathSize];
    capture::FrameEncoding encoding;
    bool include_sent;
};

// GUI thread: the dialog; true after OK, with the choice.
bool RunCaptureDialog(CaptureChoice& choice);
INT_PTR CALLBACK CaptureDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// GUI thread: "Ca&pture to File...": stops a running capture, or asks for
// a new one and starts it.
void ToggleCapture();

// GUI thread: creates the file and starts recording; false, after a
// message box that says why, when the file cannot be made.
bool StartCapture(const CaptureChoice& choice);

// GUI thread: writes what is left, the interface statistics (the frames
// the adapter dropped over the capture) and closes the file. Nothing
// without a capture.
void StopCapture();

bool CaptureRunning();

// GUI thread, on its timer and when the output says it stopped: a capture
// whose output failed, or whose receive monitor ended, stops; else its
// title shows the count.
void WatchCapture();

// GUI thread: the receive monitor's thread has started: a capture records
// from it, and ends when it ends, however short its run.
void CaptureReceiveMonitorStarted();
// GUI thread: the operator stopped the receive monitor: a capture that
// recorded from it ends, its file complete; one still waiting for it
// goes on waiting.
void CaptureReceiveMonitorStopped();

// Any thread: a frame the receive monitor received.
void CaptureReceivedFrame(const ReceiveRecord& record);
// Any thread: a frame the adapter took for sending.
void CaptureSentFrame(const uint8_t* data, uint16_t length);

}  // namespace qz6::mon
