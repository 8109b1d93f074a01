// The Line Test window: its four entries, Start (Stop while a run is on),
// Close, the progress bar and the results, refreshed from the run's figures
// while it goes on. Everything here runs on the GUI thread; the run itself
// is in line_test_run.cpp.
#include <windows.h>

#include <commctrl.h>

#include <string_view>

#include "common/win32/message_box.h"
#include "monitor/channel/configuration_codec.h"
#include "monitor/frame/messages.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/frame/system_close.h"
#include "monitor/frame/system_function.h"
#include "monitor/line_test/line_test.h"
#include "monitor/resources/traffic_ids.h"

namespace qz6::mon {
namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 200;
constexpr int kEntrySize = 64;

constexpr int kEntryIds[] = {IDC_LINETEST_FRAMES, IDC_LINETEST_LENGTH, IDC_LINETEST_PARTNER, IDC_LINETEST_RATE};
// The results that only a finished run has.
constexpr int kFinalResultIds[] = {IDC_LINETEST_LOST, IDC_LINETEST_FRAMES_PER_SECOND, IDC_LINETEST_BITS_PER_SECOND,
                                   IDC_LINETEST_PERCENT, IDC_LINETEST_VERDICT};

void OnInitDialog(HWND dialog)
{
    SetDlgItemInt(dialog, IDC_LINETEST_FRAMES, kLineTestDefaultFrames, FALSE);
    SetDlgItemInt(dialog, IDC_LINETEST_LENGTH, kLineTestDefaultLength, FALSE);
    SetDlgItemInt(dialog, IDC_LINETEST_RATE, 0, FALSE);
    SendDlgItemMessageA(dialog, IDC_LINETEST_PARTNER, EM_LIMITTEXT, kDeviceNameMax, 0);
}

std::string_view EntryText(HWND dialog, int id, char (&text)[kEntrySize])
{
    return {text, GetDlgItemTextA(dialog, id, text, kEntrySize)};
}

void SetText(HWND dialog, int id, std::string_view text) { SetDlgItemTextA(dialog, id, text.data()); }

// The counters as they stand; with `final`, also what only an ended run has.
void ShowFigures(HWND dialog, bool final)
{
    LineTestSnapshot snapshot;
    TakeLineTestSnapshot(snapshot);
    const LineTestTally& tally = snapshot.tally;
    SetDlgItemInt(dialog, IDC_LINETEST_SENT, tally.sent, FALSE);
    SetDlgItemInt(dialog, IDC_LINETEST_RECEIVED, tally.received, FALSE);
    SetDlgItemInt(dialog, IDC_LINETEST_OUT_OF_ORDER, tally.out_of_order, FALSE);
    SetDlgItemInt(dialog, IDC_LINETEST_CORRUPTED, tally.corrupted, FALSE);
    SendDlgItemMessageA(dialog, IDC_LINETEST_PROGRESS, PBM_SETPOS, tally.sent, 0);
    if (!final)
        return;

    const LineTestState& run = g_monitor.line_test;
    SetDlgItemInt(dialog, IDC_LINETEST_LOST, LostFrames(tally), FALSE);
    const LineTestRates rates = ComputeLineTestRates(tally.received, run.plan.length, snapshot.elapsed_us, run.baud_rate);
    char field[kLineTestFieldSize];
    SetText(dialog, IDC_LINETEST_FRAMES_PER_SECOND, FormatFramesPerSecond(rates.frames_per_second, field));
    SetText(dialog, IDC_LINETEST_BITS_PER_SECOND, FormatBitsPerSecond(rates.bits_per_second, field));
    SetText(dialog, IDC_LINETEST_PERCENT, FormatPercent(rates.percent_of_bit_rate, field));
    char verdict[kLineTestVerdictSize];
    SetText(dialog, IDC_LINETEST_VERDICT, LineTestVerdict(tally, snapshot.ending, snapshot.failure, verdict));
}

void EnableEntries(HWND dialog, bool enabled)
{
    for (int id : kEntryIds)
        EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE);
}

void ShowRunEnded(HWND dialog)
{
    KillTimer(dialog, kRefreshTimer);
    ShowFigures(dialog, true);
    SetDlgItemTextA(dialog, IDC_LINETEST_START_STOP, "&Start");
    EnableEntries(dialog, true);
}

void OnStart(HWND dialog)
{
    char frames[kEntrySize], length[kEntrySize], partner[kEntrySize], rate[kEntrySize];
    const LineTestEntries entries = {EntryText(dialog, IDC_LINETEST_FRAMES, frames),
                                     EntryText(dialog, IDC_LINETEST_LENGTH, length),
                                     EntryText(dialog, IDC_LINETEST_PARTNER, partner),
                                     EntryText(dialog, IDC_LINETEST_RATE, rate)};
    const uint16_t max_frame_size = DecodeStreamingConfiguration(g_monitor.saved_configuration).max_frame_size;
    LineTestPlan plan;
    char message[kLineTestMessageSize];
    if (!ReadLineTestEntries(entries, g_monitor.device_name, max_frame_size, plan, message).empty()) {
        ShowMessageBox(dialog, message, kLineTestErrorCaption, MB_ICONEXCLAMATION | MB_OK);
        return;
    }
    for (int id : kFinalResultIds)
        SetDlgItemTextA(dialog, id, "");
    SendDlgItemMessageA(dialog, IDC_LINETEST_PROGRESS, PBM_SETRANGE32, 0, static_cast<LPARAM>(plan.frames));
    if (!StartLineTestRun(dialog, plan))
        return;
    ShowFigures(dialog, false);
    SetDlgItemTextA(dialog, IDC_LINETEST_VERDICT, "Running...");
    SetDlgItemTextA(dialog, IDC_LINETEST_START_STOP, "&Stop");
    EnableEntries(dialog, false);
    SetTimer(dialog, kRefreshTimer, kRefreshMs, nullptr);
}

void OnStartStop(HWND dialog)
{
    if (!LineTestRunning()) {
        OnStart(dialog);
        return;
    }
    EndLineTestRun(true);
    ShowRunEnded(dialog);
}

// The send thread's note that the run has ended by itself; a note of an
// earlier run is ignored.
void OnRunDone(HWND dialog, uint32_t run_number)
{
    if (!IsCurrentLineTestRun(run_number))
        return;
    EndLineTestRun(false);
    ShowRunEnded(dialog);
}

}  // namespace

void OpenLineTestWindow()
{
    if (g_monitor.line_test_window != nullptr)
        return;
    const auto init_controls =
        LoadSystemFunction<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)>("comctl32.dll", "InitCommonControlsEx");
    const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    if (init_controls != nullptr)
        init_controls(&controls);
    g_monitor.line_test_window =
        CreateDialogParamA(g_monitor.instance, QZ6MON_LINETEST_TEMPLATE, g_monitor.main_window, LineTestDialog, 0);
}

void CloseLineTestWindow()
{
    HWND window = g_monitor.line_test_window;
    g_monitor.line_test_window = nullptr;
    if (window != nullptr)
        DestroyWindow(window);
    EndLineTestRun(true);
}

INT_PTR CALLBACK LineTestDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDC_LINETEST_START_STOP)
            OnStartStop(dialog);
        else if (LOWORD(wparam) == IDC_LINETEST_CLOSE)
            CloseLineTestWindow();
        return TRUE;
    case WM_SYSCOMMAND:
        if (!IsSystemClose(wparam))
            return FALSE;
        CloseLineTestWindow();
        return TRUE;
    case WM_TIMER:
        if (wparam == kRefreshTimer)
            ShowFigures(dialog, false);
        return TRUE;
    case WM_LINE_TEST_DONE:
        OnRunDone(dialog, static_cast<uint32_t>(wparam));
        return TRUE;
    case WM_DESTROY:
        // Also destroyed with its owner, the main window: the run ends first.
        EndLineTestRun(true);
        if (g_monitor.line_test_window == dialog)
            g_monitor.line_test_window = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace qz6::mon
