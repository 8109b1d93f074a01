// The confirmations of qz6sim's requests that have no reply: what the
// request set, one text per control code.
#include "tools/qz6sim/sim_text_parts.h"

#include <stdio.h>
#include <string.h>

namespace qz6::simtool {

namespace {

template <typename T>
T RequestInput(const SimRequest& request)
{
    T value;
    memcpy(&value, request.input, sizeof(value));
    return value;
}

void DoneCable(const SimRequest& request, const char* adapter, TextBuffer* out)
{
    const auto cable = RequestInput<SimCableRequest>(request);
    if (cable.kind == CABLE_NULL_MODEM)
        Append(out, "%s: null-modem cable to %s\n", adapter, AdapterLabel(cable.peer).text);
    else if (cable.kind == CABLE_LOOPBACK)
        Append(out, "%s: loopback plug\n", adapter);
    else
        Append(out, "%s: no cable\n", adapter);
}

void DoneModem(const SimRequest& request, const char* adapter, TextBuffer* out)
{
    const auto modem = RequestInput<SimModemInputsRequest>(request);
    if (modem.manual == 0)
        Append(out, "%s: DCD and CTS follow the cable\n", adapter);
    else
        Append(out, "%s: DCD %s, CTS %s (set by hand)\n", adapter, modem.dcd != 0 ? "high" : "low",
               modem.cts != 0 ? "high" : "low");
}

void DoneFault(const SimRequest& request, const char* adapter, TextBuffer* out)
{
    const auto fault = RequestInput<SimFaultRequest>(request);
    const uint32_t count = fault.count;
    NameOrNumber command{};
    if (fault.command == kAnyCommand)
        snprintf(command.text, sizeof(command.text), "any command");
    else
        command = CommandLabel(fault.command);
    if (count == 0) {
        if (fault.command == kAnyCommand)
            Append(out, "%s: every fault script cleared\n", adapter);
        else
            Append(out, "%s: fault script for %s cleared\n", adapter, command.text);
        return;
    }
    const bool one = count == 1;
    Append(out, "%s: the next %u call%s of %s ", adapter, count, one ? "" : "s", command.text);
    if (fault.kind == FAULT_NO_ANSWER)
        Append(out, "%s the return code untouched\n", one ? "leaves" : "leave");
    else if (fault.kind == FAULT_FAIL_CALL)
        Append(out, "%s\n", one ? "fails" : "fail");
    else
        Append(out, "%s with return code 0x%02X\n", one ? "answers" : "answer", fault.return_code);
}

void DoneFailReceives(const SimRequest& request, const char* adapter, TextBuffer* out)
{
    const uint32_t count = RequestInput<SimFailReceivesRequest>(request).count;
    Append(out, "%s: the next %u receive call%s\n", adapter, count, count == 1 ? " fails" : "s fail");
}

void DonePlug(const SimRequest& request, const char* adapter, TextBuffer* out)
{
    const auto plug = RequestInput<SimPlugRequest>(request);
    Append(out, "%s: %s\n", adapter, plug.plugged != 0 ? "plugged in" : "unplugged");
}

void DoneGenerator(const SimRequest& request, const char* adapter, TextBuffer* out)
{
    const auto generator = RequestInput<SimGeneratorRequest>(request);
    if (generator.enabled == 0) {
        Append(out, "%s: generator off\n", adapter);
        return;
    }
    Append(out, "%s: generator on, ", adapter);
    AppendGeneratorFrames(generator.length, generator.rate, out);
    const uint32_t count = generator.count;
    if (count == 0)
        Append(out, ", until off\n");
    else
        Append(out, ", %u frame%s\n", count, count == 1 ? "" : "s");
}

void DoneImpairments(const SimRequest& request, const char* adapter, TextBuffer* out)
{
    const auto impair = RequestInput<SimImpairRequest>(request);
    if (!Impaired(impair.every)) {
        Append(out, "%s: no impairments\n", adapter);
        return;
    }
    Append(out, "%s: of the frames arriving, ", adapter);
    AppendImpairmentRates(impair.every, out);
    Append(out, "\n");
}

void DoneCounters(const SimRequest&, const char* adapter, TextBuffer* out)
{
    Append(out, "%s: counters and impairment tallies cleared\n", adapter);
}

void DoneReset(const SimRequest&, const char*, TextBuffer* out)
{
    Append(out, "every adapter is back at its power-on state\n");
}

struct DoneText {
    uint32_t control_code;
    void (*format)(const SimRequest& request, const char* adapter, TextBuffer* out);
};

constexpr DoneText kDoneTexts[] = {
    {IOCTL_SIM_SET_CABLE, DoneCable},
    {IOCTL_SIM_SET_MODEM_INPUTS, DoneModem},
    {IOCTL_SIM_SCRIPT_FAULT, DoneFault},
    {IOCTL_SIM_FAIL_RECEIVES, DoneFailReceives},
    {IOCTL_SIM_SET_PLUGGED, DonePlug},
    {IOCTL_SIM_SET_GENERATOR, DoneGenerator},
    {IOCTL_SIM_SET_IMPAIRMENTS, DoneImpairments},
    {IOCTL_SIM_RESET, DoneReset},
    {IOCTL_SIM_SET_DRIVER_QUEUE, DoneDriverQueue},
    {IOCTL_SIM_RESET_COUNTERS, DoneCounters},
};

}  // namespace

void FormatDone(const SimRequest& request, TextBuffer* out)
{
    const NameOrNumber label = AdapterLabel(request.adapter);
    for (const DoneText& text : kDoneTexts) {
        if (text.control_code == request.control_code) {
            text.format(request, label.text, out);
            return;
        }
    }
    Append(out, "done\n");
}

}  // namespace qz6::simtool
