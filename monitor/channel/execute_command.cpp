// ExecuteCommand: every command of the program reaches the driver here.
#include "monitor/channel/command_channel.h"

#include <algorithm>
#include <cstring>

#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/windows/monitor_windows.h"

namespace qz6::mon {
namespace {

void SetPollingText(int control, std::string_view text)
{
    char buffer[32];
    const size_t length = std::min(text.size(), sizeof buffer - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    SetDlgItemTextA(g_monitor.polling_window, control, buffer);
}

void MirrorCommandStart(uint8_t command)
{
    if (!MonitorWindowIsOpen(IDM_POLLING_WINDOW))
        return;
    char spare[8];
    SetPollingText(IDC_POLLS_COMMAND, CommandDisplayName(command, spare));
    SetPollingText(IDC_POLLS_RESULT, "----");
}

void MirrorCommandResult(uint8_t command, uint8_t return_code)
{
    if (!MonitorWindowIsOpen(IDM_POLLING_WINDOW))
        return;
    char text[8];
    SetPollingText(IDC_POLLS_RESULT, FormatReturnCode(return_code, text));
    if (IsActiveCommand(command))
        SetPollingText(IDC_POLLS_ACTIVE_RESULT, ActiveResultText(return_code, text));
}

// The driver's answer is read from return_code alone; neither the call's
// own result nor its byte count says anything the block does not.
void CallDriver(CommandBlock& block)
{
    if (!RequestFitsWire(block) || g_monitor.device_handle == INVALID_HANDLE_VALUE ||
        g_monitor.device_handle == nullptr)
        return;
    DWORD returned = 0;
    DeviceIoControl(g_monitor.device_handle, ControlCodeForCommand(block.command), &block,
                    RequestInputLength(block), &block, sizeof(CommandBlock), &returned, nullptr);
}

}  // namespace

uint8_t ExecuteCommand(CommandBlock& block)
{
    const uint8_t command = block.command;
    MirrorCommandStart(command);
    block.return_code = NO_RESPONSE_CODE;
    CallDriver(block);
    const uint8_t return_code = block.return_code;
    MirrorCommandResult(command, return_code);
    return return_code;
}

}  // namespace qz6::mon
