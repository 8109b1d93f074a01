// The receive monitor.
//
// Two threads meet here. The GUI thread runs StartReceiveMonitor,
// StopReceiveMonitor and the Receive Detail window procedure; it alone
// writes the Receive Detail window handle and keeps the thread's handle.
// ReceiveThread owns its device handle, the receive record, the dump text
// and the list's line count. Its window operations are sends into the GUI
// thread, each made after reading the window handle afresh; the GUI thread
// clears the handle before it destroys the window and waits for the
// thread, and lets the thread's sends through while it waits, so neither
// ever waits for the other.
#include "monitor/traffic/receive_monitor.h"

#include <atomic>
#include <cstdio>

#include "monitor/channel/command_channel.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/resources/traffic_ids.h"
#include "monitor/traffic/receive_text.h"
#include "monitor/traffic/send_frames.h"

namespace qz6::mon {
namespace {

// How long a stop, or a start that finds an earlier thread, waits for the
// thread to see its final status and end.
constexpr DWORD kThreadEndWaitMs = 500;

bool g_fail_next_thread_start = false;

// The one value both threads use; only the GUI thread stores it.
HWND ReceiveWindow()
{
    return std::atomic_ref<HWND>(g_monitor.receive_detail_window).load(std::memory_order_acquire);
}

void PublishReceiveWindow(HWND window)
{
    std::atomic_ref<HWND>(g_monitor.receive_detail_window).store(window, std::memory_order_release);
}

bool ReceiveBoxChecked(int id)
{
    HWND window = ReceiveWindow();
    return window != nullptr && IsDlgButtonChecked(window, id) == BST_CHECKED;
}

void SetReceiveText(int id, const char* text)
{
    if (HWND window = ReceiveWindow())
        SetDlgItemTextA(window, id, text);
}

void SetReceiveNumber(int id, unsigned value)
{
    if (HWND window = ReceiveWindow())
        SetDlgItemInt(window, id, value, FALSE);
}

LRESULT SendToReceiveList(UINT message, WPARAM wparam, LPARAM lparam)
{
    HWND window = ReceiveWindow();
    return window != nullptr ? SendDlgItemMessageA(window, IDC_RDETAIL_LIST, message, wparam, lparam) : 0;
}

// Waits up to `timeout_ms` for the receive thread to end, handling the
// messages it sends meanwhile. True, with the handle closed, once it has
// ended or when there is none; false while it still runs.
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

void ShowFrame(const ReceiveRecord& record, std::span<char, kReceiveLineSize> line)
{
    AddReceiveLine(FormatSummaryLine(record, line).data());
    SetReceiveText(IDC_RDETAIL_DUMP, FormatFrameDump(record, g_monitor.traffic.dump_text).data());
}

}  // namespace

void StartReceiveMonitor()
{
    if (g_monitor.receive_detail_window != nullptr)
        return;
    // A thread that has not ended still owns the receive buffers: nothing
    // starts beside it.
    if (!ReapReceiveThread(kThreadEndWaitMs))
        return;

    CommandBlock& block = g_monitor.command_block;
    block.command = ENABLE_COMMS;
    block.data_length = 0;
    if (ExecuteCommand(block) != RETURN_SUCCESS)
        return;

    HWND window = CreateDialogParamA(g_monitor.instance, "RDETAIL", g_monitor.main_window, ReceiveDetailDialog, 0);
    if (window == nullptr)
        return;
    PublishReceiveWindow(window);

    HANDLE thread = nullptr;
    if (!g_fail_next_thread_start)
        thread = CreateThread(nullptr, 0, ReceiveThread, nullptr, 0, nullptr);
    g_fail_next_thread_start = false;
    if (thread == nullptr) {
        // The window stays, frozen as after a thread's end.
        g_monitor.traffic.receive_line_count = 0;
        AddReceiveLine("Unable to start receive thread!");
        return;
    }
    SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
    g_monitor.traffic.receive_thread = thread;
}

void StopReceiveMonitor()
{
    CommandBlock& block = g_monitor.command_block;
    block.command = DISABLE_COMMS;
    block.data_length = 0;
    if (ExecuteCommand(block) != RETURN_SUCCESS)
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
    traffic.receive_line_count = 0;
    uint16_t frame_counter = 0;
    char line[kReceiveLineSize];

    std::snprintf(line, sizeof line, "\\\\.\\%s", g_monitor.device_name);
    traffic.receive_device_handle =
        CreateFileA(line, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING, nullptr);
    if (traffic.receive_device_handle == INVALID_HANDLE_VALUE) {
        AddReceiveLine("Unable to open device for reading!");
        return 0;
    }

    while (FetchReceivedFrame(traffic.receive_device_handle, traffic.receive_record, sizeof traffic.receive_record) ==
           RECEIVE_FRAME_PRESENT) {
        // The boxes are read anew for every frame; every frame is counted.
        if (ReceiveBoxChecked(IDC_RDETAIL_DISPLAY))
            ShowFrame(traffic.receive_record, line);
        ++frame_counter;
        if (ReceiveBoxChecked(IDC_RDETAIL_COUNT))
            SetReceiveNumber(IDC_RDETAIL_COUNTER, frame_counter);
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
    const ReceiveListStep step = CountReceiveLine(g_monitor.traffic.receive_line_count);
    if (step.delete_oldest)
        SendToReceiveList(LB_DELETESTRING, 0, 0);
    SendToReceiveList(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendToReceiveList(LB_SETCURSEL, static_cast<WPARAM>(step.select), 0);
}

INT_PTR CALLBACK ReceiveDetailDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        CheckDlgButton(dialog, IDC_RDETAIL_DISPLAY, BST_CHECKED);
        CheckDlgButton(dialog, IDC_RDETAIL_COUNT, BST_CHECKED);
        return TRUE;
    case WM_SYSCOMMAND:
        // Only stopping the receive monitor closes the window.
        return (wparam & 0xFFF0) == SC_CLOSE ? TRUE : FALSE;
    default:
        return FALSE;
    }
}

void FailNextReceiveThreadStart()
{
    g_fail_next_thread_start = true;
}

}  // namespace qz6::mon
