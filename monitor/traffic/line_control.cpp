// The one-shot line commands. Each asks the operator and sends one byte;
// nothing is remembered, so every question starts from the same state.
#include "monitor/frame/system_close.h"
#include "monitor/traffic/line_control.h"

#include "common/win32/message_box.h"
#include "monitor/channel/command_channel.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/resources/traffic_ids.h"

namespace qz6::mon {
namespace {

// Sends `command` with its one-byte payload; the result is shown only by
// the Polling window.
void SendLineByte(uint8_t command, uint8_t value)
{
    CommandBlock& block = g_monitor.command_block;
    block.data[0] = value;
    block.command = command;
    block.data_length = 1;
    ExecuteCommand(block);
}

uint8_t ModemLinesFromBoxes(HWND dialog)
{
    uint8_t lines = 0;
    if (IsDlgButtonChecked(dialog, IDC_SETMODEM_DTR) == BST_CHECKED)
        lines = DTR_HIGH;
    if (IsDlgButtonChecked(dialog, IDC_SETMODEM_RTS) == BST_CHECKED)
        lines |= RTS_HIGH;
    return lines;
}

}  // namespace

void AskLineSwitch(const char* question, const char* title, uint8_t command)
{
    const int answer = ShowMessageBox(g_monitor.main_window, question, title, MB_YESNOCANCEL | MB_ICONQUESTION);
    // Escape and the close box answer Cancel too.
    if (answer != IDYES && answer != IDNO)
        return;
    SendLineByte(command, answer == IDYES ? 1 : 0);
}

void RunSetModemDialog()
{
    DialogBoxParamA(g_monitor.instance, QZ6MON_SETMODEM_TEMPLATE, g_monitor.main_window, SetModemDialog, 0);
}

INT_PTR CALLBACK SetModemDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) {
            SendLineByte(SET_DTR_RTS, ModemLinesFromBoxes(dialog));
            EndDialog(dialog, 0);
        } else if (LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, 0);
        }
        return FALSE;
    case WM_SYSCOMMAND:
        return IsSystemClose(wparam) ? TRUE : FALSE;
    default:
        return FALSE;
    }
}

}  // namespace qz6::mon
