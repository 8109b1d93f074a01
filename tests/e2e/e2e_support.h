// The end-to-end suite's hands and eyes: the real programs started as
// processes, their windows found by class and title, driven by the messages
// a user's clicks produce, read back through their controls, and captured
// as pictures.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/monitor_settings.h"
#include "support/window_support.h"

namespace qz6::e2e {

constexpr int kPatienceMs = 30000;

using qz6::test::ControlText;
using qz6::test::MessageBoxText;
using qz6::test::ProgramBeside;
using qz6::test::WindowText;

// Polls a condition until it holds or the time is up: the suite's programs
// run in processes of their own, so it is patient by default.
inline bool WaitUntil(const std::function<bool()>& condition, int timeout_ms = kPatienceMs)
{
    return qz6::test::WaitUntil(condition, timeout_ms, 20);
}

// Runs a command line to its end; true when it ended with status 0.
bool RunToEnd(const char* command_line, int timeout_ms = 60000);

// ---- Windows of another process --------------------------------------------
// The lines of a list box, through the wide messages (marshalled across
// processes).
std::vector<std::string> ListLines(HWND list);
// A visible top-level window of `thread` with this title (any class when
// class_name is null), or null.
HWND ThreadWindow(DWORD thread, const char* title, const char* class_name = nullptr);
// Waits for such a window.
HWND WaitForThreadWindow(DWORD thread, const char* title, const char* class_name = nullptr,
                         int timeout_ms = kPatienceMs);
// A button press as a click produces it (posted, so modal loops run it).
void Press(HWND dialog, int id);
// The window takes messages within the time.
bool Answers(HWND window, int timeout_ms = 10000);

// ---- Pictures ----------------------------------------------------------------
// Copies what the screen shows of `window` into NAME.bmp in the directory
// named by QZ6_E2E_SCREENS (a Unix path); the runner turns it into a PNG.
// Without that variable it does nothing and succeeds.
bool Capture(HWND window, const char* name);

// ---- The two programs ----------------------------------------------------------
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Start(const std::string& program);
    bool Running() const;
    // The exit code, or STILL_ACTIVE when it does not end in time.
    DWORD WaitForExit(int timeout_ms = kPatienceMs);
    DWORD Thread() const { return info_.dwThreadId; }
    DWORD Id() const { return info_.dwProcessId; }
    // The first top-level window of the process with this class.
    HWND WaitForWindow(const char* class_name, int timeout_ms = kPatienceMs);

private:
    PROCESS_INFORMATION info_{};
};

// qz6mon.exe, driven through its menu.
class Monitor {
public:
    bool Start();
    Process& process() { return process_; }
    HWND Main() const { return main_; }
    HWND Polls() const { return FindWindowExA(main_, nullptr, "LMTR_POLLS", nullptr); }
    HWND Child(const char* class_name) const { return FindWindowExA(main_, nullptr, class_name, nullptr); }
    void Menu(uint16_t item) const { PostMessageA(main_, WM_COMMAND, item, 0); }

    std::string PollText(int id) const { return ControlText(Polls(), id); }
    // The message box or dialog with this title, once it is there.
    HWND WaitForBox(const char* title, int timeout_ms = kPatienceMs) const;
    // The Polling window's status shows this text.
    bool WaitForStatus(const char* status) const;
    // "Configure &Device", the dialog confirmed as it stands; true when the
    // configuration was accepted.
    bool ConfigureDevice();
    // "&Open Device"; true when the device opened.
    bool OpenDevice();
    // "&Enable Communications"; the Receive Detail window or null.
    HWND EnableCommunications();
    // "&Send Frames..."; the Send Frames window or null.
    HWND OpenSendFrames();
    // "&Select Device..." for this run only.
    bool SelectDevice(const char* name);
    // "Set &Modem Status" with the two outputs; the dialog is pictured
    // under `picture` when one is named.
    bool SetModemOutputs(bool dtr, bool rts, const char* picture = nullptr);
    // The process lives and its main window answers.
    bool Healthy();
    // "E&xit"; the exit code.
    DWORD Exit();

private:
    Process process_;
    HWND main_ = nullptr;
};

// ---- The simulator's command log -----------------------------------------------
struct LoggedCall {
    uint32_t sequence;
    uint32_t control_code;
    uint8_t command;
    uint8_t return_code;
    uint8_t outcome;
};
std::vector<LoggedCall> CommandLog(unsigned adapter);
// The calls of `adapter` logged after sequence number `after`.
std::vector<LoggedCall> CommandLogAfter(unsigned adapter, uint32_t after);
uint32_t LastSequence(unsigned adapter);

// ---- The settings file --------------------------------------------------------
using qz6::test::StoredSetting;
using qz6::test::WriteMonitorSettings;

}  // namespace qz6::e2e
