// What the Wine tests, the end-to-end suite, the bench and the driver
// fuzzer share:
// waiting for a condition, finding the programs beside the test program and
// their windows, and reading windows' texts, also another process's.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace qz6::test {

// The performance counter in seconds: for intervals, against its own earlier
// readings.
double SecondsNow();

// Polls `condition` every `step_ms` until it holds or `timeout_ms` has
// passed; true when it held.
bool WaitUntil(const std::function<bool()>& condition, int timeout_ms = 5000, int step_ms = 5);

// The path of a program beside this test program ("qz6mon.exe").
std::string ProgramBeside(const char* name);

// A window's text through WM_GETTEXT, so also another process's; a window
// that does not answer within 10 s reads as "".
std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int id);
// The text of a message box: its static control 0xFFFF.
std::string MessageBoxText(HWND box);
std::string ClassOf(HWND window);

// The top-level window of `process` of this class (null: any) and title
// (null: any), visible ones only unless `visible_only` is false; or null.
HWND FindProcessWindow(DWORD process, const char* class_name, const char* title, bool visible_only = true);

}  // namespace qz6::test
