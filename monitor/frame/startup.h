// The monitor's life: start-up, the message loop, the end.
#pragma once

#include <windows.h>

namespace qz6::mon {

// Start-up up to the message loop: settings, the main window, the timer,
// the menu state and the Polling window. False when the main window class
// or window cannot be made; the program then ends with code 0.
bool StartMonitor(HINSTANCE instance, int show);

// One pass of the message loop: dispatches everything queued, then counts
// one idle pass when passes are being counted, or otherwise waits up to
// wait_ms for the next message. Returns false once the quit message was
// taken, with its code in quit_code.
bool RunMessagePass(DWORD wait_ms, int& quit_code);

// Passes until the quit message; returns its code.
int RunMessageLoop();

// After the loop: the receive monitor stopped and the device closed.
void FinishMonitor();

// The whole program, as the entry point runs it.
int RunMonitor(HINSTANCE instance, int show);

}  // namespace qz6::mon
