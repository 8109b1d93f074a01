// The receive monitor: "&Enable Communications" and "&Disable Communications",
// the Receive Detail window and the receive thread that fills it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/stream_protocol.h"

namespace qz6::mon {

// "&Enable Communications": ENABLE_COMMS, the Receive Detail window and the
// receive thread. Does nothing while the window exists.
void StartReceiveMonitor();

// "&Disable Communications", device close and exit: DISABLE_COMMS; when the
// adapter accepts it, closes the Receive Detail and Send Frames windows and
// waits for the receive thread's end (at most 500 ms).
void StopReceiveMonitor();

// True while the receive thread runs (it has not seen its final status).
bool ReceiveMonitorRunning();

// The receive thread's entry; its argument is not used.
DWORD WINAPI ReceiveThread(LPVOID unused);

// One IOCTL_STREAM_RECEIVE into `record`; returns its status byte
// (RECEIVE_CALL_FAILED when the call itself failed).
uint8_t FetchReceivedFrame(HANDLE device, ReceiveRecord& record, DWORD record_size);

// GUI thread: appends a line to the Receive Detail list, keeping at most 49,
// the newest selected.
void AddReceiveLine(const char* text);

INT_PTR CALLBACK ReceiveDetailDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Tests only: the Receive Detail window shows everything the receive thread
// has handed over.
bool ReceiveDisplayIsCurrent();

// Tests only: the next start behaves as if the platform could not create
// the receive thread.
void FailNextReceiveThreadStart();

}  // namespace qz6::mon
