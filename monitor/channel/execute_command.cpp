// ExecuteCommand: every command of the program reaches the driver here.
#include "monitor/channel/command_channel.h"

#include <algorithm>
#include <cstring>

#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/windows/monitor_windows.h"

namespace qz6::mon {
namespace {

void SetMirrorText(char* field, size_t size, std::string_view text)
{
    const size_t length = std::min(text.size(), size - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

void MirrorCommandStart(uint8_t command)
{
    if (!MonitorWindowIsOpen(IDM_POLLING_WINDOW))
        return;
    PollingMirror& mirror = g_monitor.polling_mirror;
    char spare[8];
    SetMirrorText(mirror.command, sizeof mirror.command, CommandDisplayName(command, spare));
    SetMirrorText(mirror.result, sizeof mirror.result, "----");
    NotePollingMirrorChanged();
}

void MirrorCommandResult(uint8_t command, uint8_t return_code)
{
    if (!MonitorWindowIsOpen(IDM_POLLING_WINDOW))
        return;
    PollingMirror& mirror = g_monitor.polling_mirror;
    char text[8];
    SetMirrorText(mirror.result, sizeof mirror.result, FormatReturnCode(return_code, text));
    if (IsActiveCommand(command)) {
        SetMirrorText(mirror.active_result, sizeof mirror.active_result, ActiveResultText(return_code, text));
        mirror.active_result_changed = true;
    }
    NotePollingMirrorChanged();
}

// The driver's answer is read from return_code alone; neither the call's
// own result nor its byte count says anything the block does not.
void CallDriver(HANDLE device, CommandBlock& block)
{
    if (!RequestFitsWire(block) || device == INVALID_HANDLE_VALUE || device == nullptr)
        return;
    DWORD returned = 0;
    DeviceIoControl(device, ControlCodeForCommand(block.command), &block, RequestInputLength(block), &block,
                    sizeof(CommandBlock), &returned, nullptr);
}

}  // namespace

uint8_t ExecuteCommand(CommandBlock& block)
{
    const uint8_t command = block.command;
    MirrorCommandStart(command);
    block.return_code = NO_RESPONSE_CODE;
    CallDriver(g_monitor.device_handle, block);
    const uint8_t return_code = block.return_code;
    MirrorCommandResult(command, return_code);
    return return_code;
}

uint8_t ExecuteCommandOn(HANDLE device, CommandBlock& block)
{
    block.return_code = NO_RESPONSE_CODE;
    CallDriver(device, block);
    return block.return_code;
}

uint8_t ExecuteCommandWithoutData(uint8_t command)
{
    CommandBlock& block = g_monitor.command_block;
    block.command = command;
    block.data_length = 0;
    return ExecuteCommand(block);
}

}  // namespace qz6::mon
