// The line test: "&Line Test..." with its modeless LINETEST window
// (line_test_window.cpp) and the run behind it (line_test_run.cpp). Every
// call here is made on the GUI thread.
#pragma once

#include <windows.h>

#include <cstdint>

#include "monitor/line_test/line_test_text.h"

namespace qz6::mon {

// The caption of the line test's message boxes.
inline constexpr const char* kLineTestErrorCaption = "Line Test Error";

// "&Line Test...": opens the window unless it is open already.
void OpenLineTestWindow();

// Ends any run and closes the window, as its Close button does (device
// close, exit).
void CloseLineTestWindow();

INT_PTR CALLBACK LineTestDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// ---- The run --------------------------------------------------------------------------------
// Opens the run's handles, configures a partner that has no configuration,
// enables communications where they are off and starts the threads, which
// post WM_LINE_TEST_DONE to `window` with the run number in wParam when the
// run has ended by itself. False, with everything undone and a message
// box owned by `window` that says why, when it cannot start.
bool StartLineTestRun(HWND window, const LineTestPlan& plan);

// Ends the run, if one is on: stops and waits for both threads, leaves
// communications as the run found them and closes its handles. `stopped`
// when the operator or a close ends it before it ended by itself.
void EndLineTestRun(bool stopped);

bool LineTestRunning();

// The run's figures as they stand, copied under the run's lock.
struct LineTestSnapshot {
    LineTestTally tally;
    uint64_t elapsed_us;  // first send to last arrival
    bool ended;
    LineTestEnding ending;
    char failure[kLineTestFailureSize];
};
void TakeLineTestSnapshot(LineTestSnapshot& snapshot);

// True when `run_number` names the run that is on.
bool IsCurrentLineTestRun(uint32_t run_number);

// A refusal of "&Enable Communications" while a run is on: the receive
// monitor would take the run's frames, and the run leaves the channel as
// it found it. Shows why and returns true when refused.
bool RefuseReceiveMonitorDuringLineTest();

}  // namespace qz6::mon
