// qz6sim configure, comms and send through an adapter's own device (see
// sim_adapter_device.h).
#include "tools/qz6sim/sim_adapter_device.h"

#include <string.h>

#include "tools/qz6sim/sim_text_parts.h"

namespace qz6::simtool {
namespace {

const char* ReturnCodeMeaning(uint8_t code)
{
    switch (code) {
    case RETURN_NOT_CONFIGURED: return "not configured";
    case RETURN_INVALID_PARAMETER: return "a value the adapter cannot take";
    case RETURN_CHANNEL_DISABLED: return "communications are off";
    case RETURN_NO_TX_BUFFER: return "no transmit buffer";
    case RETURN_UNKNOWN_COMMAND: return "unknown command";
    case TIMEOUT_CODE: return "time-out";
    case NO_RESPONSE_CODE: return "no answer";
    default: return "unknown code";
    }
}

// The exit status and message of a command the adapter did not take.
ExitStatus Refused(const SimRequest& request, uint8_t return_code, TextBuffer* error)
{
    const char* adapter = kAdapterDeviceNames[request.adapter % kAdapterCount];
    switch (return_code) {
    case RETURN_NOT_CONFIGURED:
        Append(error, "qz6sim: %s: %s is not configured ('qz6sim configure %s' writes the default configuration)\n",
               request.verb, adapter, adapter);
        return ExitStatus::NotConfigured;
    case RETURN_CHANNEL_DISABLED:
        Append(error, "qz6sim: %s: communications are off on %s ('qz6sim comms %s on' turns them on)\n",
               request.verb, adapter, adapter);
        return ExitStatus::CommsDisabled;
    default:
        Append(error, "qz6sim: %s: %s answered %s with 0x%02X (%s)\n", request.verb, adapter,
               CommandName(request.stream_command), return_code, ReturnCodeMeaning(return_code));
        return ExitStatus::CallFailed;
    }
}

// One call; false (with the message in `error`) when the call itself failed.
bool Call(const SimRequest& request, AdapterPort& port, CommandBlock* block, TextBuffer* error)
{
    block->return_code = NO_RESPONSE_CODE;
    uint32_t call_error = 0;
    if (port.Execute(request.control_code, block, &call_error))
        return true;
    Append(error, "qz6sim: %s: the call on %s failed (error %u)\n", request.verb,
           kAdapterDeviceNames[request.adapter % kAdapterCount], call_error);
    return false;
}

void FillFrame(const SimRequest& request, uint32_t number, CommandBlock* block)
{
    const SendSettings& send = request.send;
    block->command = SEND_I_FRAME;
    block->data_length = send.length;
    if (send.counting) {
        for (uint32_t i = 0; i < send.length; ++i)
            block->data[i] = static_cast<uint8_t>(number + i);
    } else {
        memcpy(block->data, request.input, send.length);
    }
}

void AppendSendSummary(const SimRequest& request, const SendTally& tally, uint64_t elapsed_us, TextBuffer* out)
{
    const uint64_t ms = elapsed_us / 1000u;
    Append(out, "%s: %u frame%s sent (%u byte%s each) in %u.%03u s\n",
           kAdapterDeviceNames[request.adapter % kAdapterCount], tally.sent, tally.sent == 1 ? "" : "s",
           request.send.length, request.send.length == 1 ? "" : "s", static_cast<unsigned>(ms / 1000u),
           static_cast<unsigned>(ms % 1000u));
}

}  // namespace

ExitStatus RunAdapterCommand(const SimRequest& request, AdapterPort& port, CommandBlock* block, TextBuffer* out,
                             TextBuffer* error)
{
    memset(block, 0, sizeof(*block));
    block->command = request.stream_command;
    block->data_length = static_cast<uint16_t>(request.input_length);
    memcpy(block->data, request.input, request.input_length);
    if (!Call(request, port, block, error))
        return ExitStatus::CallFailed;
    if (block->return_code != RETURN_SUCCESS)
        return Refused(request, block->return_code, error);

    const char* adapter = kAdapterDeviceNames[request.adapter % kAdapterCount];
    if (request.stream_command == SET_CONFIGURATION) {
        ConfigurationToSend configuration{};
        memcpy(&configuration, request.input, sizeof(configuration));
        Append(out, "%s: configured, %u bit/s, frames up to %u bytes (the default streaming configuration)\n", adapter,
               configuration.baud_rate, configuration.max_frame_size);
    } else {
        Append(out, "%s: communications %s\n", adapter, request.stream_command == ENABLE_COMMS ? "on" : "off");
    }
    return ExitStatus::Done;
}

ExitStatus RunSend(const SimRequest& request, AdapterPort& port, Clock& clock, CommandBlock* block, SendTally* tally,
                   TextBuffer* out, TextBuffer* error)
{
    *tally = SendTally{};
    memset(block, 0, sizeof(*block));
    const SendSettings& send = request.send;
    const uint64_t start_us = clock.NowUs();
    ExitStatus status = ExitStatus::Done;
    while (tally->sent < send.count && status == ExitStatus::Done) {
        if (send.rate != 0)
            clock.WaitUntilUs(start_us + static_cast<uint64_t>(tally->sent) * 1000000u / send.rate);
        for (;;) {
            FillFrame(request, tally->sent, block);
            if (!Call(request, port, block, error)) {
                status = ExitStatus::CallFailed;
                break;
            }
            if (block->return_code != RETURN_NO_TX_BUFFER)
                break;
            // Every transmit buffer holds a frame: one leaves as soon as the line has sent it.
            ++tally->full_waits;
            clock.WaitUntilUs(clock.NowUs() + kFullTransmitterRetryUs);
        }
        if (status != ExitStatus::Done)
            break;
        if (block->return_code != RETURN_SUCCESS)
            status = Refused(request, block->return_code, error);
        else
            ++tally->sent;
    }
    AppendSendSummary(request, *tally, clock.NowUs() - start_us, out);
    return status;
}

}  // namespace qz6::simtool
