#include "tests/monitor/session_harness.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "monitor/channel/device_session.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "support/device_support.h"

namespace qz6::mon::test {

// ---- Texts set on controls ------------------------------------------------------------
namespace {

struct WatchedControl {
    WNDPROC original;
    std::vector<std::string> texts;
};

// Only the GUI thread sets texts; the operator thread may read.
std::mutex g_watch_mutex;
std::map<HWND, WatchedControl> g_watched;

LRESULT CALLBACK RecordingProc(HWND control, UINT message, WPARAM wparam, LPARAM lparam)
{
    WNDPROC original = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_watch_mutex);
        auto it = g_watched.find(control);
        if (it == g_watched.end())
            return DefWindowProcA(control, message, wparam, lparam);
        original = it->second.original;
        if (message == WM_SETTEXT)
            it->second.texts.emplace_back(lparam != 0 ? reinterpret_cast<const char*>(lparam) : "");
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
            g_watched.erase(it);
        }
    }
    return CallWindowProcA(original, control, message, wparam, lparam);
}

}  // namespace

void WatchControlTexts(HWND control)
{
    ASSERT_NE(control, nullptr);
    std::lock_guard<std::mutex> lock(g_watch_mutex);
    if (g_watched.contains(control))
        return;
    auto original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingProc)));
    g_watched[control] = WatchedControl{original, {}};
}

std::vector<std::string> TextsSetOn(HWND control)
{
    std::lock_guard<std::mutex> lock(g_watch_mutex);
    auto it = g_watched.find(control);
    return it == g_watched.end() ? std::vector<std::string>{} : it->second.texts;
}

size_t TextWrites(HWND control)
{
    return TextsSetOn(control).size();
}

void ForgetTextWrites()
{
    std::lock_guard<std::mutex> lock(g_watch_mutex);
    for (auto& [control, watched] : g_watched)
        watched.texts.clear();
}

void UnwatchAllControls()
{
    std::lock_guard<std::mutex> lock(g_watch_mutex);
    for (auto& [control, watched] : g_watched)
        if (IsWindow(control))
            SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(watched.original));
    g_watched.clear();
}

// ---- Message boxes ------------------------------------------------------------------------------
namespace {

struct AnyDialog {
    HWND skip;
    HWND found;
};

BOOL CALLBACK MatchAnyDialog(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<AnyDialog*>(context);
    if (window != search->skip && ClassOf(window) == "#32770" && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

BoxAnswerer::BoxAnswerer(Rule rule)
    : rule_(std::move(rule)), thread_([this, gui = GetCurrentThreadId()] { Run(gui); })
{
}

BoxAnswerer::~BoxAnswerer() { Stop(); }

std::vector<SeenBox> BoxAnswerer::Stop()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    return seen_;
}

void BoxAnswerer::Run(DWORD gui_thread)
{
    HWND answered = nullptr;
    while (!stop_) {
        AnyDialog search = {answered, nullptr};
        EnumThreadWindows(gui_thread, MatchAnyDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) {
            if (answered != nullptr && !IsWindow(answered))
                answered = nullptr;
            Sleep(5);
            continue;
        }
        HWND box = search.found;
        SeenBox seen = {WindowText(box), MessageBoxText(box), ControlText(g_monitor.polling_window, IDC_POLLS_DEVICE_STATUS)};
        const int button = rule_(seen.caption, box);
        seen_.push_back(seen);
        PressButton(box, button);
        answered = box;
        // The next box may only be looked for once this one is gone.
        WaitUntil([&] { return stop_ || !IsWindow(box) || !IsWindowVisible(box); }, 5000);
    }
}

std::string Captions(const std::vector<SeenBox>& boxes)
{
    std::string captions;
    for (const SeenBox& box : boxes)
        captions += (captions.empty() ? "" : ", ") + box.caption;
    return captions;
}

// ---- The monitor against the simulated driver ------------------------------------------------
void OnSimulatedDriver::SetUp()
{
    ASSERT_TRUE(qz6::test::SimReset()) << "simulated driver not loaded";
    MonitorTest::SetUp();
    NewRequests(true);
}

void OnSimulatedDriver::TearDown()
{
    if (g_monitor.device_open)
        CloseDevice();
    UnwatchAllControls();
    MonitorTest::TearDown();
    qz6::test::SimReset();
}

void OnSimulatedDriver::ConfigureAdapter()
{
    qz6::test::DeviceHandle adapter = qz6::test::OpenAdapter(0);
    ASSERT_TRUE(adapter.Valid());
    ASSERT_EQ(qz6::test::Configure(adapter.Get(), qz6::test::DefaultConfiguration()), RETURN_SUCCESS);
}

void OnSimulatedDriver::OpenConfiguredDevice()
{
    ConfigureAdapter();
    BoxAnswerer operator_([](const std::string&, HWND) { return IDCANCEL; });
    Command(IDM_OPEN_DEVICE);
    const std::vector<SeenBox> boxes = operator_.Stop();
    ASSERT_TRUE(boxes.empty()) << Captions(boxes);
    ASSERT_TRUE(g_monitor.device_open);
    NewRequests(true);
}

uint8_t OnSimulatedDriver::RunOnAdapter(uint8_t command, std::initializer_list<uint8_t> data)
{
    qz6::test::DeviceHandle adapter = qz6::test::OpenAdapter(0);
    const uint8_t code = qz6::test::RunCommand(adapter.Get(), command, data);
    adapter.Reset();
    NewRequests(true);  // the test's own requests are not the monitor's
    return code;
}

std::vector<SimLogEntry> OnSimulatedDriver::NewRequests(bool with_handles)
{
    return qz6::test::SimNewLogEntries(0, &last_sequence_, with_handles);
}

std::string TraceOf(const std::vector<SimLogEntry>& requests)
{
    std::string trace;
    for (const SimLogEntry& entry : requests) {
        char item[8];
        if (entry.control_code == LOG_HANDLE_OPENED)
            std::snprintf(item, sizeof item, "O");
        else if (entry.control_code == LOG_HANDLE_CLOSED)
            std::snprintf(item, sizeof item, "C");
        else
            std::snprintf(item, sizeof item, "%02X", entry.command);
        trace += (trace.empty() ? "" : " ") + std::string(item);
    }
    return trace;
}

std::string OnSimulatedDriver::NewRequestTrace()
{
    return TraceOf(NewRequests(true));
}

std::string OnSimulatedDriver::PollingStatus() const
{
    return ControlText(g_monitor.polling_window, IDC_POLLS_DEVICE_STATUS);
}

HWND OnSimulatedDriver::PollingStatusControl() const
{
    return GetDlgItem(g_monitor.polling_window, IDC_POLLS_DEVICE_STATUS);
}

}  // namespace qz6::mon::test
