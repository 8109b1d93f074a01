// The Send Frames window. Everything here runs on the GUI thread: the menu,
// the window procedure and WM_POLL_TICK, which the polling engine sends.
#include "monitor/frame/system_close.h"
#include "monitor/traffic/send_frames.h"

#include <string_view>

#include "common/hex_text.h"
#include "monitor/channel/command_channel.h"
#include "monitor/frame/messages.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/resources/traffic_ids.h"
#include "monitor/capture/capture.h"
#include "monitor/traffic/send_text.h"

namespace qz6::mon {
namespace {

// "Length:" is read with room for any sensible number and then some.
constexpr int kLengthTextSize = 64;

// Frames leave only on the open device's handle. With no device open the
// handle member may hold Configure Device's short-lived handle (its retry
// prompt lets this window run): the send is then answered as by no driver,
// 0xAA, and nothing reaches the adapter.
uint8_t ExecuteSend(CommandBlock& block)
{
    if (g_monitor.device_open)
        return ExecuteCommand(block);
    const HANDLE borrowed = g_monitor.device_handle;
    g_monitor.device_handle = INVALID_HANDLE_VALUE;
    const uint8_t return_code = ExecuteCommand(block);
    g_monitor.device_handle = borrowed;
    return return_code;
}

bool BoxChecked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void OnInitDialog(HWND dialog)
{
    TrafficState& traffic = g_monitor.traffic;
    CheckDlgButton(dialog, IDC_DENTRY_DATA_IS_TEXT, traffic.send_as_text ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemInt(dialog, IDC_DENTRY_LENGTH, kSendManyDefaultLength, FALSE);
    ShowFrameHistory(dialog, IDC_DENTRY_HISTORY);
    traffic.send_many.running = false;
    traffic.send_many.fill_byte = 0;
}

void OnSend(HWND dialog)
{
    TrafficState& traffic = g_monitor.traffic;
    CommandBlock& block = g_monitor.command_block;
    traffic.send_as_text = BoxChecked(dialog, IDC_DENTRY_DATA_IS_TEXT);
    if (traffic.send_as_text) {
        // The text goes straight into the block; its terminator is not sent.
        char* text = reinterpret_cast<char*>(block.data);
        const UINT length = GetDlgItemTextA(dialog, IDC_DENTRY_DATA, text, kTextFrameMax + 1);
        RememberFrame(text);
        block.data_length = static_cast<uint16_t>(length);
    } else {
        const UINT length = GetDlgItemTextA(dialog, IDC_DENTRY_DATA, traffic.hex_text, sizeof traffic.hex_text);
        RememberFrame(traffic.hex_text);
        block.data_length = ParseHexBytes(length);
    }
    block.command = SEND_I_FRAME;
    const uint16_t length = block.data_length;
    if (ExecuteSend(block) == RETURN_SUCCESS)
        CaptureSentFrame(block.data, length);
    SendDlgItemMessageA(dialog, IDC_DENTRY_HISTORY, LB_RESETCONTENT, 0, 0);
    ShowFrameHistory(dialog, IDC_DENTRY_HISTORY);
}

// A double-click on a history line puts that text back into the Data box.
void OnRecall(HWND dialog)
{
    TrafficState& traffic = g_monitor.traffic;
    const LRESULT line = SendDlgItemMessageA(dialog, IDC_DENTRY_HISTORY, LB_GETCURSEL, 0, 0);
    if (line == LB_ERR)
        return;
    const LRESULT length = SendDlgItemMessageA(dialog, IDC_DENTRY_HISTORY, LB_GETTEXTLEN, static_cast<WPARAM>(line), 0);
    if (length == LB_ERR || length >= static_cast<LRESULT>(sizeof traffic.hex_text))
        return;
    SendDlgItemMessageA(dialog, IDC_DENTRY_HISTORY, LB_GETTEXT, static_cast<WPARAM>(line),
                        reinterpret_cast<LPARAM>(traffic.hex_text));
    SetDlgItemTextA(dialog, IDC_DENTRY_DATA, traffic.hex_text);
}

void OnStartStop(HWND dialog)
{
    SendManyState& stream = g_monitor.traffic.send_many;
    if (stream.running) {
        stream.running = false;
        SetDlgItemTextA(dialog, IDC_DENTRY_START_STOP, "Start");
        SetDlgItemTextA(dialog, IDC_DENTRY_STATUS, "Stopped");
        return;
    }
    char text[kLengthTextSize] = {};
    const UINT length = GetDlgItemTextA(dialog, IDC_DENTRY_LENGTH, text, sizeof text);
    const SendManyLength requested = ParseSendManyLength(std::string_view(text, length));
    StartSendMany(stream, requested.length);
    SetDlgItemTextA(dialog, IDC_DENTRY_START_STOP, "Stop");
    SetDlgItemTextA(dialog, IDC_DENTRY_STATUS, "Starting...");
    if (requested.limited)
        SetDlgItemInt(dialog, IDC_DENTRY_LENGTH, kSendManyMaxLength, FALSE);
}

void OnPollTick(HWND dialog)
{
    SendManyState& stream = g_monitor.traffic.send_many;
    if (!stream.running)
        return;
    CommandBlock& block = g_monitor.command_block;
    const uint16_t length = FillStreamFrame(stream, block.data);
    block.data_length = length;
    block.command = SEND_I_FRAME;
    const uint8_t return_code = ExecuteSend(block);
    if (return_code == RETURN_SUCCESS)
        CaptureSentFrame(block.data, length);
    char status[kSendManyStatusSize];
    SetDlgItemTextA(dialog, IDC_DENTRY_STATUS, FormatSendManyStatus(stream, return_code, status).data());
    AfterStreamFrame(stream, return_code);
}

void OnCommand(HWND dialog, int id, int notification)
{
    switch (id) {
    case IDC_DENTRY_SEND: OnSend(dialog); break;
    case IDC_DENTRY_CLOSE: CloseSendFramesWindow(); break;
    case IDC_DENTRY_HISTORY:
        if (notification == LBN_DBLCLK)
            OnRecall(dialog);
        break;
    case IDC_DENTRY_START_STOP: OnStartStop(dialog); break;
    default: break;
    }
}

}  // namespace

void OpenSendFramesWindow()
{
    if (g_monitor.send_frames_window != nullptr)
        return;
    g_monitor.send_frames_window =
        CreateDialogParamA(g_monitor.instance, QZ6MON_DENTRY_TEMPLATE, g_monitor.main_window, SendFramesDialog, 0);
}

bool TakeSendFramesEnter(const MSG& message)
{
    HWND window = g_monitor.send_frames_window;
    if (window == nullptr || message.message != WM_KEYDOWN || message.wParam != VK_RETURN ||
        (message.hwnd != window && !IsChild(window, message.hwnd)))
        return false;
    // Only the Data box sends; the history list recalls its line, as a
    // double click does; anywhere else Enter does nothing.
    switch (GetDlgCtrlID(message.hwnd)) {
    case IDC_DENTRY_DATA: OnSend(window); break;
    case IDC_DENTRY_HISTORY: OnRecall(window); break;
    default: break;
    }
    return true;
}

void CloseSendFramesWindow()
{
    HWND window = g_monitor.send_frames_window;
    g_monitor.send_frames_window = nullptr;
    if (window != nullptr)
        DestroyWindow(window);
}

INT_PTR CALLBACK SendFramesDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wparam), HIWORD(wparam));
        return FALSE;
    case WM_SYSCOMMAND:
        // The close box and Alt+F4 do nothing: only "Close" closes.
        return IsSystemClose(wparam) ? TRUE : FALSE;
    case WM_POLL_TICK:
        OnPollTick(dialog);
        return TRUE;
    case WM_DESTROY:
        // Also destroyed with its owner, the main window: no stale handle
        // is left for the polling engine.
        if (g_monitor.send_frames_window == dialog)
            g_monitor.send_frames_window = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

void RememberFrame(const char* text)
{
    RememberFrame(g_monitor.traffic.frame_history, text);
}

void ShowFrameHistory(HWND window, int list_id)
{
    const FrameHistory& history = g_monitor.traffic.frame_history;
    for (int32_t k = 0; k < history.count; ++k) {
        // Slots are terminated in place, so each entry's text ends there.
        const std::string_view text = HistoryEntry(history, k);
        SendDlgItemMessageA(window, list_id, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.data()));
    }
}

uint16_t ParseHexBytes(size_t length)
{
    const TrafficState& traffic = g_monitor.traffic;
    const size_t usable = length < sizeof traffic.hex_text ? length : sizeof traffic.hex_text - 1;
    // At most the block's 512 bytes.
    return static_cast<uint16_t>(
        ParseSpacedHexTokens(std::string_view(traffic.hex_text, usable), g_monitor.command_block.data));
}

}  // namespace qz6::mon
