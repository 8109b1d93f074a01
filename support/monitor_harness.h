// The monitor started in this process, for its Wine tests and the bench's
// in-process measurers: the settings file, a scripted operator on a helper
// thread that answers modal dialogs and message boxes, and a probe window
// that counts the polls it receives.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "support/monitor_settings.h"
#include "support/window_support.h"

namespace qz6::mon::test {

// ---- qz6mon.ini in the Windows directory -----------------------------------
using qz6::test::DeleteSettingsFile;
using qz6::test::SettingsFilePath;
using qz6::test::StoredSetting;
// Replaces the file; fails the running test when it cannot.
void WriteSettingsFile(const char* text);

// ---- Windows ------------------------------------------------------------------
using qz6::test::ClassOf;
using qz6::test::ControlText;
using qz6::test::WindowText;
// The child of the main window with this class, or null.
HWND FindMonitorWindow(const char* class_name);
int CountMonitorWindows(const char* class_name);
// A field of the Polling window once it has caught up with the commands
// run so far (it takes them over when the message loop runs).
std::string PollingText(int id);
bool PollingTickChecked();
bool MenuItemChecked(uint16_t item);
bool MenuItemGreyed(uint16_t item);

// ---- The scripted operator ----------------------------------------------------
// Waits (from a helper thread) for a visible dialog or message box of the
// GUI thread with this caption; null after the timeout.
HWND WaitForDialog(DWORD gui_thread, const char* caption, int timeout_ms = 5000);
using qz6::test::MessageBoxText;
// Presses a dialog button the way a click does.
void PressButton(HWND dialog, int id);
using qz6::test::WaitUntil;

// Runs `script` on a helper thread while the GUI thread does something modal.
class Operator {
public:
    explicit Operator(std::function<void(DWORD gui_thread)> script);
    ~Operator();
    Operator(const Operator&) = delete;
    Operator& operator=(const Operator&) = delete;
    void Join();

private:
    std::thread thread_;
};

// ---- Poll probe -------------------------------------------------------------------
// A child of the main window whose class begins with "LMTR_", so the
// polling engine reaches it like any monitor window. It counts the polls
// and logs them under its letter.
HWND CreatePollProbe(char letter = 'P');
int PollProbeCount();
// A top-level stand-in for the Send Frames window, logging its polls too.
HWND CreateSendFramesStandIn();
// Order in which the probe (P) and the stand-in (S) got their ticks.
std::string PollOrder();
void ResetPollLog();

// ---- The monitor in this process ---------------------------------------------------
class MonitorTest : public ::testing::Test {
protected:
    // Settings file contents for this test; null for no file at all.
    virtual const char* Settings() const { return nullptr; }
    void SetUp() override;
    void TearDown() override;

    // Message loop passes without waiting.
    void Pump(int passes = 20);
    // Passes for about this long.
    void PumpFor(int milliseconds);
    // Runs a menu command as the menu would.
    void Command(uint16_t item);

    HWND main_ = nullptr;
    DWORD gui_thread_ = 0;
    int quit_code_ = -1;
    bool quit_seen_ = false;
};

}  // namespace qz6::mon::test
