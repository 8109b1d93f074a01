// The receive monitor.
//
// Two threads meet here. The GUI thread runs StartReceiveMonitor,
// StopReceiveMonitor and the Receive Detail window procedure; it alone
// writes the Receive Detail window handle, keeps the thread's handle and
// touches the window. ReceiveThread owns its device handle and the receive
// record; it counts every frame, hands what is to be shown over through
// the handoff (a copy under a lock that the GUI thread holds only for its
// own copy), and posts the window a note when there is something new. It
// never waits for the GUI thread, so a window that is busy painting costs
// the line nothing. The window catches up at most kShowIntervalMs apart
// with everything handed over since: the last 49 summary lines, the dump of
// the newest displayed frame and the counter, exactly what showing each
// frame as it came would have left.
#include "monitor/frame/system_close.h"
#include "monitor/traffic/receive_monitor.h"

#include <atomic>

#include "monitor/capture/capture.h"
#include "monitor/channel/command_channel.h"
#include "monitor/channel/device_session.h"
#include "monitor/frame/messages.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/resources/traffic_ids.h"
#include "monitor/traffic/receive_text.h"
#include "monitor/traffic/send_frames.h"

namespace qz6::mon {
namespace {

// How long a stop, or a start that finds an earlier thread, waits for the
// thread to see its final status and end.
constexpr DWORD kThreadEndWaitMs = 500;
// The window catches up at a human rate, not once per frame.
constexpr DWORD kShowIntervalMs = 40;
constexpr UINT_PTR kShowTimer = 1;

bool g_fail_next_thread_start = false;

// The one window handle both threads use; only the GUI thread stores it.
HWND ReceiveWindow()
{
    return std::atomic_ref<HWND>(g_monitor.receive_detail_window).load(std::memory_order_acquire);
}

void PublishReceiveWindow(HWND window)
{
    std::atomic_ref<HWND>(g_monitor.receive_detail_window).store(window, std::memory_order_release);
}

bool BoxState(bool& box)
{
    return std::atomic_ref<bool>(box).load(std::memory_order_relaxed);
}

void KeepBoxState(HWND dialog, int id, bool& box)
{
    std::atomic_ref<bool>(box).store(IsDlgButtonChecked(dialog, id) == BST_CHECKED, std::memory_order_relaxed);
}

// The list box is found once for all the lines of a catch-up: under Wine
// every lookup of a control asks the window server.
void AppendReceiveLine(HWND list, const char* text)
{
    const ReceiveListStep step = CountReceiveLine(g_monitor.traffic.receive_line_count);
    if (step.delete_oldest)
        SendMessageA(list, LB_DELETESTRING, 0, 0);
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(step.select), 0);
}

// The receive thread: hands `hand_over` (a call on the handoff) across and
// posts the window a note unless one is pending already.
template <typename HandOver>
void HandToWindow(HandOver&& hand_over)
{
    TrafficState& traffic = g_monitor.traffic;
    AcquireSRWLockExclusive(&traffic.handoff_lock);
    hand_over(traffic.handoff);
    const bool post = !traffic.update_posted;
    traffic.update_posted = true;
    ReleaseSRWLockExclusive(&traffic.handoff_lock);
    if (!post)
        return;
    HWND window = ReceiveWindow();
    if (window == nullptr || !PostMessageA(window, WM_RECEIVE_UPDATE, 0, 0)) {
        // No window to take the note: the next hand-over tries again.
        AcquireSRWLockExclusive(&traffic.handoff_lock);
        traffic.update_posted = false;
        ReleaseSRWLockExclusive(&traffic.handoff_lock);
    }
}

// The GUI thread: brings the window up to what has been handed over.
void ShowHandedOverFrames(HWND window)
{
    TrafficState& traffic = g_monitor.traffic;
    AcquireSRWLockExclusive(&traffic.handoff_lock);
    TakeReceiveUpdate(traffic.handoff, traffic.shown, traffic.update);
    traffic.update_posted = false;
    ReleaseSRWLockExclusive(&traffic.handoff_lock);
    traffic.last_shown_ms = GetTickCount();

    const ReceiveUpdate& update = traffic.update;
    if (update.line_count > 0) {
        HWND list = GetDlgItem(window, IDC_RDETAIL_LIST);
        SendMessageA(list, WM_SETREDRAW, FALSE, 0);
        for (int32_t i = 0; i < update.line_count; ++i)
            AppendReceiveLine(list, update.lines[i]);
        SendMessageA(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
    }
    if (update.new_dump)
        SetDlgItemTextA(window, IDC_RDETAIL_DUMP,
                        FormatFrameDump({update.dump_frame, update.dump_length}, traffic.dump_text).data());
    if (update.new_counter)
        SetDlgItemInt(window, IDC_RDETAIL_COUNTER, update.counter, FALSE);
}

// A note from the receive thread: shows at once, or when the interval since
// the last showing is over.
void OnReceiveUpdate(HWND window)
{
    const DWORD since = GetTickCount() - g_monitor.traffic.last_shown_ms;
    if (since >= kShowIntervalMs)
        ShowHandedOverFrames(window);
    else
        SetTimer(window, kShowTimer, kShowIntervalMs - since, nullptr);
}

// Waits up to `timeout_ms` for the receive thread to end, handling the
// messages sent to this thread meanwhile. True, with the handle closed,
// once it has ended or when there is none; false while it still runs.
bool ReapReceiveThread(DWORD timeout_ms)
{
    HANDLE thread = g_monitor.traffic.receive_thread;
    if (thread == nullptr)
        return true;
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        const DWORD remaining = elapsed < timeout_ms ? timeout_ms - elapsed : 0;
        const DWORD woke = MsgWaitForMultipleObjects(1, &thread, FALSE, remaining, QS_SENDMESSAGE);
        if (woke == WAIT_OBJECT_0) {
            CloseHandle(thread);
            g_monitor.traffic.receive_thread = nullptr;
            return true;
        }
        if (woke != WAIT_OBJECT_0 + 1 || remaining == 0)
            return false;
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// A fresh window starts from nothing: an empty handoff, nothing shown.
void ResetReceiveDisplay()
{
    TrafficState& traffic = g_monitor.traffic;
    traffic.handoff = ReceiveHandoff{};
    traffic.update_posted = false;
    traffic.shown = ReceiveShown{};
    traffic.last_shown_ms = GetTickCount() - kShowIntervalMs;
    traffic.receive_line_count = 0;
    traffic.display_frames = true;
    traffic.count_frames = true;
}

// A start or a stop may wait for the old thread, letting sent messages in
// meanwhile; a start or stop that one of them asks for is refused, so that
// none replaces the thread handle that the waiting one holds.
class OneStartOrStopAtATime {
public:
    OneStartOrStopAtATime() : first_(!g_monitor.traffic.start_or_stop_running)
    {
        g_monitor.traffic.start_or_stop_running = true;
    }
    ~OneStartOrStopAtATime()
    {
        if (first_)
            g_monitor.traffic.start_or_stop_running = false;
    }
    OneStartOrStopAtATime(const OneStartOrStopAtATime&) = delete;
    OneStartOrStopAtATime& operator=(const OneStartOrStopAtATime&) = delete;
    bool Refused() const { return !first_; }

private:
    bool first_;
};

}  // namespace

void StartReceiveMonitor()
{
    const OneStartOrStopAtATime turn;
    if (turn.Refused() || g_monitor.receive_detail_window != nullptr)
        return;
    // A thread that has not ended still owns the receive buffers: nothing
    // starts beside it.
    if (!ReapReceiveThread(kThreadEndWaitMs))
        return;

    if (ExecuteCommandWithoutData(ENABLE_COMMS) != RETURN_SUCCESS)
        return;

    ResetReceiveDisplay();
    HWND window = CreateDialogParamA(g_monitor.instance, QZ6MON_RDETAIL_TEMPLATE, g_monitor.main_window,
                                     ReceiveDetailDialog, 0);
    if (window == nullptr)
        return;
    PublishReceiveWindow(window);

    HANDLE thread = nullptr;
    if (!g_fail_next_thread_start)
        thread = CreateThread(nullptr, 0, ReceiveThread, nullptr, 0, nullptr);
    g_fail_next_thread_start = false;
    if (thread == nullptr) {
        // The window stays, frozen as after a thread's end.
        AddReceiveLine("Unable to start receive thread!");
        return;
    }
    SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
    g_monitor.traffic.receive_thread = thread;
    CaptureReceiveMonitorStarted();
}

void StopReceiveMonitor()
{
    const OneStartOrStopAtATime turn;
    if (turn.Refused() || ExecuteCommandWithoutData(DISABLE_COMMS) != RETURN_SUCCESS)
        return;

    // Cleared first, so that the thread addresses no window from here on.
    HWND window = g_monitor.receive_detail_window;
    PublishReceiveWindow(nullptr);
    if (window != nullptr)
        DestroyWindow(window);
    CloseSendFramesWindow();
    ReapReceiveThread(kThreadEndWaitMs);
}

DWORD WINAPI ReceiveThread(LPVOID)
{
    TrafficState& traffic = g_monitor.traffic;
    uint16_t frame_counter = 0;
    traffic.receive_device_handle = OpenNamedDeviceHandle(g_monitor.device_name);
    if (traffic.receive_device_handle == INVALID_HANDLE_VALUE) {
        HandToWindow([](ReceiveHandoff& handoff) { HandOverLine(handoff, "Unable to open device for reading!"); });
        return 0;
    }

    while (FetchReceivedFrame(traffic.receive_device_handle, traffic.receive_record, sizeof traffic.receive_record) ==
           RECEIVE_FRAME_PRESENT) {
        // The boxes' states are read anew for every frame; every frame is
        // counted.
        ++frame_counter;
        CaptureReceivedFrame(traffic.receive_record);
        const bool display = BoxState(traffic.display_frames);
        const bool count = BoxState(traffic.count_frames);
        if (display || count) {
            HandToWindow([&](ReceiveHandoff& handoff) {
                HandOverFrame(handoff, traffic.receive_record, display, count, frame_counter);
            });
        }
    }

    CloseHandle(traffic.receive_device_handle);
    traffic.receive_device_handle = INVALID_HANDLE_VALUE;
    return 0;
}

uint8_t FetchReceivedFrame(HANDLE device, ReceiveRecord& record, DWORD record_size)
{
    record.status = 0;
    DWORD returned = 0;
    if (!DeviceIoControl(device, IOCTL_STREAM_RECEIVE, nullptr, 0, &record, record_size, &returned, nullptr))
        record.status = RECEIVE_CALL_FAILED;
    return record.status;
}

void AddReceiveLine(const char* text)
{
    HWND window = g_monitor.receive_detail_window;
    if (window != nullptr)
        AppendReceiveLine(GetDlgItem(window, IDC_RDETAIL_LIST), text);
}

INT_PTR CALLBACK ReceiveDetailDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    TrafficState& traffic = g_monitor.traffic;
    switch (message) {
    case WM_INITDIALOG:
        CheckDlgButton(dialog, IDC_RDETAIL_DISPLAY, BST_CHECKED);
        CheckDlgButton(dialog, IDC_RDETAIL_COUNT, BST_CHECKED);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDC_RDETAIL_DISPLAY)
            KeepBoxState(dialog, IDC_RDETAIL_DISPLAY, traffic.display_frames);
        else if (LOWORD(wparam) == IDC_RDETAIL_COUNT)
            KeepBoxState(dialog, IDC_RDETAIL_COUNT, traffic.count_frames);
        return FALSE;
    case WM_RECEIVE_UPDATE:
        OnReceiveUpdate(dialog);
        return TRUE;
    case WM_TIMER:
        if (wparam != kShowTimer)
            return FALSE;
        KillTimer(dialog, kShowTimer);
        ShowHandedOverFrames(dialog);
        return TRUE;
    case WM_SYSCOMMAND:
        // Only stopping the receive monitor closes the window.
        return IsSystemClose(wparam) ? TRUE : FALSE;
    default:
        return FALSE;
    }
}

bool ReceiveMonitorRunning()
{
    HANDLE thread = g_monitor.traffic.receive_thread;
    return thread != nullptr && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
}

bool ReceiveDisplayIsCurrent()
{
    TrafficState& traffic = g_monitor.traffic;
    AcquireSRWLockExclusive(&traffic.handoff_lock);
    const bool current = !traffic.update_posted;
    ReleaseSRWLockExclusive(&traffic.handoff_lock);
    return current;
}

void FailNextReceiveThreadStart()
{
    g_fail_next_thread_start = true;
}

}  // namespace qz6::mon
