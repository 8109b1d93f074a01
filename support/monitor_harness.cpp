#include "support/monitor_harness.h"

#include <cstring>
#include <mutex>

#include "monitor/frame/main_window.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/frame/startup.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/windows/monitor_windows.h"

namespace qz6::mon::test {

void WriteSettingsFile(const char* text)
{
    ASSERT_TRUE(qz6::test::WriteMonitorSettings(text)) << SettingsFilePath();
}

namespace {

void CatchUpPollingWindow()
{
    MSG message;
    while (PeekMessageA(&message, g_monitor.polling_window, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

}  // namespace

std::string PollingText(int id)
{
    CatchUpPollingWindow();
    return ControlText(g_monitor.polling_window, id);
}

bool PollingTickChecked()
{
    CatchUpPollingWindow();
    return SendDlgItemMessageA(g_monitor.polling_window, IDC_POLLS_TICK_INDICATOR, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

HWND FindMonitorWindow(const char* class_name)
{
    return FindWindowExA(g_monitor.main_window, nullptr, class_name, nullptr);
}

int CountMonitorWindows(const char* class_name)
{
    int count = 0;
    for (HWND w = FindWindowExA(g_monitor.main_window, nullptr, class_name, nullptr); w != nullptr;
         w = FindWindowExA(g_monitor.main_window, w, class_name, nullptr))
        ++count;
    return count;
}

bool MenuItemChecked(uint16_t item)
{
    return (GetMenuState(g_monitor.main_menu, item, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

bool MenuItemGreyed(uint16_t item)
{
    return (GetMenuState(g_monitor.main_menu, item, MF_BYCOMMAND) & MF_GRAYED) != 0;
}

namespace {

struct DialogSearch {
    const char* caption;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<DialogSearch*>(context);
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, "#32770") == 0 && IsWindowVisible(window) && WindowText(window) == search->caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND WaitForDialog(DWORD gui_thread, const char* caption, int timeout_ms)
{
    DialogSearch search = {caption, nullptr};
    WaitUntil(
        [&] {
            EnumThreadWindows(gui_thread, MatchDialog, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeout_ms);
    return search.found;
}

void PressButton(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

Operator::Operator(std::function<void(DWORD)> script)
    : thread_([script = std::move(script), gui = GetCurrentThreadId()] { script(gui); })
{
}

Operator::~Operator() { Join(); }

void Operator::Join()
{
    if (thread_.joinable())
        thread_.join();
}

// ---- Poll probe ---------------------------------------------------------------------
namespace {

std::atomic<int> g_probe_polls{0};
std::mutex g_order_mutex;
std::string g_poll_order;

void LogPoll(char who)
{
    std::lock_guard<std::mutex> lock(g_order_mutex);
    g_poll_order += who;
}

// A member of the monitor-window family: its messages pass the family's
// filter first, as the program's own windows' do.
LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    FilterMonitorWindowMessage(window, message, wparam, lparam, 0);
    if (message == 0x4000) {
        ++g_probe_polls;
        LogPoll(static_cast<char>(GetWindowLongPtrA(window, GWLP_USERDATA)));
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

LRESULT CALLBACK StandInProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == 0x4000) {
        LogPoll('S');
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

void RegisterOnce(const char* name, WNDPROC procedure)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

}  // namespace

HWND CreatePollProbe(char letter)
{
    RegisterOnce("LMTR_TESTPROBE", ProbeProc);
    g_probe_polls = 0;
    HWND probe = CreateWindowExA(0, "LMTR_TESTPROBE", "probe", WS_CHILD, 0, 0, 10, 10, g_monitor.main_window,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(probe, GWLP_USERDATA, letter);
    return probe;
}

int PollProbeCount() { return g_probe_polls.load(); }

HWND CreateSendFramesStandIn()
{
    RegisterOnce("SendFramesStandIn", StandInProc);
    return CreateWindowExA(0, "SendFramesStandIn", "Send Frames", WS_POPUP, 0, 0, 10, 10, g_monitor.main_window,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

std::string PollOrder()
{
    std::lock_guard<std::mutex> lock(g_order_mutex);
    return g_poll_order;
}

void ResetPollLog()
{
    std::lock_guard<std::mutex> lock(g_order_mutex);
    g_poll_order.clear();
    g_probe_polls = 0;
}

// ---- The monitor in this process ------------------------------------------------------
void MonitorTest::SetUp()
{
    ResetMonitorState();
    ResetPollLog();
    if (Settings() == nullptr)
        DeleteSettingsFile();
    else
        WriteSettingsFile(Settings());
    gui_thread_ = GetCurrentThreadId();
    ASSERT_TRUE(StartMonitor(GetModuleHandleA(nullptr), SW_SHOWNORMAL));
    main_ = g_monitor.main_window;
    Pump();
}

void MonitorTest::TearDown()
{
    if (IsWindow(main_))
        DestroyWindow(main_);
    for (int i = 0; i < 1000 && !quit_seen_; ++i)
        quit_seen_ = !RunMessagePass(0, quit_code_);
    g_monitor.device_open = false;  // tests only pretend to hold a device
    g_monitor.device_handle = INVALID_HANDLE_VALUE;
    FinishMonitor();
    UnregisterClassA(kMainClassName, GetModuleHandleA(nullptr));
    DeleteSettingsFile();
}

void MonitorTest::Pump(int passes)
{
    for (int i = 0; i < passes && !quit_seen_; ++i)
        quit_seen_ = !RunMessagePass(0, quit_code_);
}

void MonitorTest::PumpFor(int milliseconds)
{
    const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    while (static_cast<int>(end - GetTickCount()) > 0 && !quit_seen_)
        quit_seen_ = !RunMessagePass(5, quit_code_);
}

void MonitorTest::Command(uint16_t item)
{
    SendMessageA(main_, WM_COMMAND, MAKEWPARAM(item, 0), 0);
}

}  // namespace qz6::mon::test
