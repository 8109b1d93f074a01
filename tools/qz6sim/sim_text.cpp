// qz6sim's core: the text of the replies, the help text, and the bounded
// buffer they are written into. See sim_commands.h.
#include "tools/qz6sim/sim_commands.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <iterator>

namespace qz6::simtool {

// ---------------------------------------------------------------------------
// Names of the values in the replies.

const char* InjectOutcomeName(uint8_t outcome)
{
    static constexpr const char* kNames[] = {
        "queued",                  // INJECT_QUEUED
        "dropped-disabled",        // INJECT_DROPPED_DISABLED
        "dropped-queue-full",      // INJECT_DROPPED_QUEUE_FULL
        "dropped-too-long",        // INJECT_DROPPED_TOO_LONG
        "dropped-bad-crc",         // INJECT_DROPPED_BAD_CRC
        "dropped-abort",           // INJECT_DROPPED_ABORT
        "dropped-unplugged",       // INJECT_DROPPED_UNPLUGGED
        "dropped-not-configured",  // INJECT_DROPPED_NOT_CONFIGURED
    };
    static_assert(std::size(kNames) == INJECT_DROPPED_NOT_CONFIGURED + 1);
    return outcome < std::size(kNames) ? kNames[outcome] : nullptr;
}

const char* LogOutcomeName(uint8_t outcome)
{
    static constexpr const char* kNames[] = {
        "completed",          // LOG_COMPLETED
        "invalid-parameter",  // LOG_INVALID_PARAMETER
        "failed",             // LOG_FAILED
        "pended",             // LOG_PENDED
    };
    static_assert(std::size(kNames) == LOG_PENDED + 1);
    return outcome < std::size(kNames) ? kNames[outcome] : nullptr;
}

const char* LogControlCodeName(uint32_t code)
{
    switch (code) {
    case IOCTL_STREAM_COMMAND:
        return "COMMAND";
    case IOCTL_STREAM_SEND:
        return "SEND";
    case IOCTL_STREAM_RECEIVE:
        return "RECEIVE";
    case LOG_HANDLE_OPENED:
        return "OPEN";
    case LOG_HANDLE_CLOSED:
        return "CLOSE";
    default:
        return nullptr;
    }
}

const char* CableName(uint8_t kind)
{
    switch (kind) {
    case CABLE_NONE:
        return "none";
    case CABLE_LOOPBACK:
        return "loopback";
    case CABLE_NULL_MODEM:
        return "null-modem";
    default:
        return nullptr;
    }
}

// ---------------------------------------------------------------------------
// Text output.

TextBuffer MakeTextBuffer(std::span<char> buffer)
{
    TextBuffer out{buffer.data(), buffer.size(), 0, false};
    if (out.capacity > 0)
        out.data[0] = 0;
    return out;
}

void AppendV(TextBuffer* out, const char* format, va_list arguments)
{
    if (out->capacity == 0) {
        out->truncated = true;
        return;
    }
    if (out->truncated)
        return;
    size_t room = out->capacity - out->length;  // always >= 1: the terminator's place
    int written = vsnprintf(out->data + out->length, room, format, arguments);
    if (written < 0) {
        out->data[out->length] = 0;
        out->truncated = true;
        return;
    }
    if (static_cast<size_t>(written) >= room) {
        out->length = out->capacity - 1;
        out->truncated = true;
        return;
    }
    out->length += static_cast<size_t>(written);
}

void Append(TextBuffer* out, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    AppendV(out, format, arguments);
    va_end(arguments);
}

// ---------------------------------------------------------------------------
// Formatting.

namespace {

// A name from a table, or the number when the value is outside it.
struct NameOrNumber {
    char text[32];
};

NameOrNumber AdapterLabel(unsigned index)
{
    NameOrNumber label{};
    if (index < kAdapterCount)
        snprintf(label.text, sizeof(label.text), "%s", kAdapterDeviceNames[index]);
    else
        snprintf(label.text, sizeof(label.text), "adapter %u", index);
    return label;
}

NameOrNumber CommandLabel(uint8_t code)
{
    NameOrNumber label{};
    const char* name = CommandName(code);
    if (name == nullptr)
        snprintf(label.text, sizeof(label.text), "0x%02X", code);
    else if (name[0] == '0')
        snprintf(label.text, sizeof(label.text), "%s", name);
    else
        snprintf(label.text, sizeof(label.text), "%s (0x%02X)", name, code);
    return label;
}

const char* OnOff(uint8_t value)
{
    return value != 0 ? "on" : "off";
}

}  // namespace

void FormatHelp(TextBuffer* out)
{
    Append(out,
           "qz6sim: looks at and drives the simulated adapters of the Zurezi6 driver\n"
           "through its control device \\\\.\\Zurezi6Sim.\n"
           "\n"
           "usage: qz6sim COMMAND [ARGUMENTS]\n"
           "\n"
           "  status [ADAPTER]              the present adapters, or one adapter: resources,\n"
           "                                configuration, channel, lines, cable, queues, counters\n"
           "  status --all                  all eight adapters, absent ones too\n"
           "  cable ADAPTER loopback|none   a loopback plug, or no cable\n"
           "  cable ADAPTER null PEER       a null-modem cable to another adapter\n"
           "  inject ADAPTER [--bits 0xNN] [--bad-crc] [--abort]\n"
           "         (--hex \"7E 01 FF\" | --text TEXT | --length N)\n"
           "                                one received frame; --length sends bytes 0, 1, 2, ...;\n"
           "                                --bits are ORed into its frame_bits; prints the outcome\n"
           "  modem ADAPTER auto            DCD and CTS follow the cable\n"
           "  modem ADAPTER DCD CTS         set DCD and CTS by hand: 0, 1, low or high\n"
           "  fault ADAPTER COMMAND COUNT (code 0xNN | noanswer | fail)\n"
           "                                the next COUNT calls of COMMAND answer with return code\n"
           "                                0xNN, leave the return code untouched, or fail the call;\n"
           "                                COMMAND is a code (0x07), a name (READ_STATISTICS) or any\n"
           "  fault ADAPTER COMMAND 0       clear that script\n"
           "  failrecv ADAPTER COUNT        the next COUNT receive calls fail\n"
           "  unplug ADAPTER                remove the device: pending calls end, opens fail\n"
           "  replug ADAPTER                bring the device back\n"
           "  gen ADAPTER LENGTH RATE [COUNT]\n"
           "                                generate frames of LENGTH bytes (0, 1, 2, ...) at RATE\n"
           "                                a second (0 or max: as fast as the receiver takes them),\n"
           "                                COUNT frames or, without COUNT or with 0, until off\n"
           "  gen ADAPTER off               stop the generator\n"
           "  log ADAPTER [N]               the adapter's last N requests (default: all, up to %u)\n"
           "  reset                         every adapter back to its power-on state\n"
           "  help                          this text\n"
           "\n"
           "ADAPTER is 0 to 7 or a device name: ROZAR6O0, KORQZ6C1 to KORQZ6C7.\n"
           "Numbers are decimal or hex with 0x. Lengths are at most %u bytes.\n"
           "\n"
           "Exit status: 0 done, 1 usage error, 2 the control device cannot be opened\n"
           "(the Zurezi6 service is not running), 3 the call failed.\n",
           kLogEntries, kMaxReceivedFrame);
}

void FormatAdapterStatus(const SimAdapterStatus& adapter, unsigned index, TextBuffer* out)
{
    NameOrNumber label = AdapterLabel(index);
    if (adapter.present == 0) {
        Append(out, "%s (%u): absent (no device: InterruptNumber is 0)\n", label.text, index);
    } else {
        Append(out, "%s (%u): present, %s\n", label.text, index, adapter.plugged != 0 ? "plugged in" : "unplugged");
    }
    uint32_t io_base = adapter.io_base;
    uint32_t shared_memory = adapter.shared_memory;
    uint32_t interrupt_number = adapter.interrupt_number;
    Append(out, "  resources      port 0x%X mem 0x%X irq %u\n", io_base, shared_memory, interrupt_number);
    if (adapter.present == 0)
        return;

    if (adapter.configured == 0) {
        Append(out, "  configuration  not set (no SET_CONFIGURATION since power-on)\n");
    } else {
        StreamingConfiguration c = adapter.configuration;
        uint32_t baud_rate = c.baud_rate;
        unsigned max_frame_size = c.max_frame_size;
        unsigned percent_tx_buffers = c.percent_tx_buffers;
        unsigned operational_bits = c.operational_bits;
        unsigned modem_bits = c.modem_bits;
        unsigned statistics_bits = c.statistics_bits;
        uint32_t adapter_frequency = c.adapter_frequency;
        unsigned transmit_buffers = c.transmit_buffers;
        unsigned receive_buffers = c.receive_buffers;
        Append(out, "  configuration  baud_rate %u max_frame_size %u percent_tx_buffers %u\n", baud_rate,
               max_frame_size, percent_tx_buffers);
        Append(out, "                 operational_bits 0x%04X modem_bits 0x%04X statistics_bits 0x%04X\n",
               operational_bits, modem_bits, statistics_bits);
        Append(out, "                 adapter_frequency %u transmit_buffers %u receive_buffers %u\n",
               adapter_frequency, transmit_buffers, receive_buffers);
    }
    Append(out, "  channel        %s, bridge %s, bad-CRC frames %s\n",
           adapter.channel_enabled != 0 ? "enabled" : "disabled", OnOff(adapter.bridge),
           adapter.pass_bad_crc != 0 ? "passed" : "dropped");
    Append(out, "  lines          DTR %u RTS %u DCD %u CTS %u (inputs %s)\n", adapter.dtr != 0 ? 1u : 0u,
           adapter.rts != 0 ? 1u : 0u, adapter.dcd != 0 ? 1u : 0u, adapter.cts != 0 ? 1u : 0u,
           adapter.manual_inputs != 0 ? "set by hand" : "from the cable");

    const char* cable = CableName(adapter.cable);
    if (adapter.cable == CABLE_NULL_MODEM) {
        Append(out, "  cable          null-modem to %s\n", AdapterLabel(adapter.peer).text);
    } else if (cable != nullptr) {
        Append(out, "  cable          %s\n", cable);
    } else {
        Append(out, "  cable          unknown kind %u\n", adapter.cable);
    }

    unsigned rx_queued = adapter.rx_queued;
    unsigned tx_queued = adapter.tx_queued;
    uint32_t frames_dropped = adapter.frames_dropped;
    uint32_t open_handles = adapter.open_handles;
    uint32_t pending_receives = adapter.pending_receives;
    Append(out, "  queues         rx %u tx %u, dropped %u\n", rx_queued, tx_queued, frames_dropped);
    Append(out, "  handles        %u open, %u receive%s pending\n", open_handles, pending_receives,
           pending_receives == 1 ? "" : "s");

    uint32_t generated = adapter.generator_count;
    if (adapter.generator_enabled == 0) {
        Append(out, "  generator      off, %u generated\n", generated);
    } else {
        unsigned length = adapter.generator_length;
        uint32_t rate = adapter.generator_rate;
        uint32_t remaining = adapter.generator_remaining;
        Append(out, "  generator      on, %u-byte frames ", length);
        if (rate == 0)
            Append(out, "as fast as taken");
        else
            Append(out, "at %u a second", rate);
        if (remaining == 0)
            Append(out, ", until off");
        else
            Append(out, ", %u to go", remaining);
        Append(out, ", %u generated\n", generated);
    }

    StatisticsReply s = adapter.statistics;
    uint32_t tx_frames = s.tx_frames;
    uint32_t tx_bytes = s.tx_bytes;
    uint32_t rx_frames = s.rx_frames;
    uint32_t rx_bytes = s.rx_bytes;
    unsigned rx_discards_too_long = s.rx_discards_too_long;
    uint32_t bridge_tx_discards = s.bridge_tx_discards;
    uint32_t tx_throughput = s.tx_throughput;
    uint32_t tx_throughput_ms = s.tx_throughput_ms;
    uint32_t rx_throughput = s.rx_throughput;
    uint32_t rx_throughput_ms = s.rx_throughput_ms;
    Append(out, "  statistics     tx_frames %u tx_bytes %u rx_frames %u rx_bytes %u\n", tx_frames, tx_bytes,
           rx_frames, rx_bytes);
    Append(out, "                 rx_discards_too_long %u bridge_tx_discards %u\n", rx_discards_too_long,
           bridge_tx_discards);
    Append(out, "  throughput     tx %u bytes/s over %u ms, rx %u bytes/s over %u ms\n", tx_throughput,
           tx_throughput_ms, rx_throughput, rx_throughput_ms);

    const CommErrorsReply& e = adapter.comm_errors;
    Append(out, "  comm errors    rx_overruns %u rx_crc_errors %u rx_aborts %u rx_disabled_bfrs_full %u\n",
           e.rx_overruns, e.rx_crc_errors, e.rx_aborts, e.rx_disabled_bfrs_full);
    Append(out, "                 tx_aborts %u dcd_drops %u cts_drops %u\n", e.tx_aborts, e.dcd_drops, e.cts_drops);
}

void FormatStatus(const SimStatus& status, const SimRequest& request, TextBuffer* out)
{
    // The version field need not be terminated.
    size_t version_length = strnlen(status.version, sizeof(status.version));
    uint32_t uptime_ms = status.uptime_ms;
    Append(out, "Zurezi6 simulator, driver version %.*s, up %u.%03u s\n", static_cast<int>(version_length),
           status.version, uptime_ms / 1000, uptime_ms % 1000);
    unsigned shown = 0;
    for (unsigned i = 0; i < kAdapterCount; ++i) {
        const SimAdapterStatus& adapter = status.adapters[i];
        bool wanted = request.one_adapter ? i == request.adapter : (adapter.present != 0 || request.include_absent);
        if (!wanted)
            continue;
        Append(out, "\n");
        FormatAdapterStatus(adapter, i, out);
        ++shown;
    }
    if (shown == 0)
        Append(out, "\nno adapter is present ('qz6sim status --all' shows the absent ones)\n");
}

void FormatLogEntry(const SimLogEntry& entry, TextBuffer* out)
{
    uint32_t sequence = entry.sequence;
    uint32_t time_ms = entry.time_ms;
    uint32_t control_code = entry.control_code;
    uint32_t input_length = entry.input_length;
    uint32_t output_length = entry.output_length;
    unsigned data_length = entry.data_length;
    const char* outcome = LogOutcomeName(entry.outcome);
    char outcome_number[16];
    if (outcome == nullptr) {
        snprintf(outcome_number, sizeof(outcome_number), "outcome %u", entry.outcome);
        outcome = outcome_number;
    }

    Append(out, "%10u %7u.%03u  ", sequence, time_ms / 1000, time_ms % 1000);
    const char* code_name = LogControlCodeName(control_code);
    if (control_code == LOG_HANDLE_OPENED || control_code == LOG_HANDLE_CLOSED) {
        Append(out, "%-7s  %s\n", code_name, outcome);
        return;
    }
    if (code_name != nullptr)
        Append(out, "%-10s", code_name);
    else
        Append(out, "0x%08X", control_code);
    Append(out, " %5u %5u  ", input_length, output_length);
    // A receive call carries no command block; its return code is the
    // record's status when it completed at once.
    NameOrNumber label = CommandLabel(entry.command);
    const char* command = control_code == IOCTL_STREAM_RECEIVE ? "-" : label.text;
    Append(out, "%-26s %5u  0x%02X  ", command, data_length, entry.return_code);
    // The entry holds the first data bytes of the call's input: for a
    // command block, only those that came after its header.
    unsigned shown = data_length < kLogDataBytes ? data_length : kLogDataBytes;
    if (control_code == IOCTL_STREAM_COMMAND || control_code == IOCTL_STREAM_SEND) {
        uint32_t present = input_length > kCommandHeaderSize ? input_length - kCommandHeaderSize : 0;
        if (present < shown)
            shown = present;
    }
    Append(out, shown != 0 ? "%-17s" : "%s", outcome);
    for (unsigned i = 0; i < shown; ++i)
        Append(out, " %02X", entry.data[i]);
    if (data_length > kLogDataBytes)
        Append(out, " ...");
    Append(out, "\n");
}

void FormatLog(const SimLog& log, uint8_t adapter, uint32_t last, TextBuffer* out)
{
    // A count past the table would read beyond the reply.
    uint32_t count = log.count <= kLogEntries ? log.count : kLogEntries;
    uint32_t shown = (last == 0 || last > count) ? count : last;
    Append(out, "%s (%u): %u of %u logged request%s\n", AdapterLabel(adapter).text, adapter, shown, count,
           count == 1 ? "" : "s");
    if (shown == 0)
        return;
    Append(out, "%10s %11s  %-10s %5s %5s  %-26s %5s  %-4s  %-17s %s\n", "sequence", "time", "code", "in", "out", "command",
           "len", "rc", "outcome", "data");
    for (uint32_t i = count - shown; i < count; ++i)
        FormatLogEntry(log.entries[i], out);
}

void FormatInjectResult(const SimInjectResult& result, TextBuffer* out)
{
    const char* name = InjectOutcomeName(result.outcome);
    if (name != nullptr)
        Append(out, "%s\n", name);
    else
        Append(out, "outcome %u\n", result.outcome);
}

void FormatDone(const SimRequest& request, TextBuffer* out)
{
    NameOrNumber label = AdapterLabel(request.adapter);
    switch (request.control_code) {
    case IOCTL_SIM_SET_CABLE: {
        SimCableRequest cable;
        memcpy(&cable, request.input, sizeof(cable));
        if (cable.kind == CABLE_NULL_MODEM)
            Append(out, "%s: null-modem cable to %s\n", label.text, AdapterLabel(cable.peer).text);
        else if (cable.kind == CABLE_LOOPBACK)
            Append(out, "%s: loopback plug\n", label.text);
        else
            Append(out, "%s: no cable\n", label.text);
        break;
    }
    case IOCTL_SIM_SET_MODEM_INPUTS: {
        SimModemInputsRequest modem;
        memcpy(&modem, request.input, sizeof(modem));
        if (modem.manual == 0)
            Append(out, "%s: DCD and CTS follow the cable\n", label.text);
        else
            Append(out, "%s: DCD %s, CTS %s (set by hand)\n", label.text, modem.dcd != 0 ? "high" : "low",
                   modem.cts != 0 ? "high" : "low");
        break;
    }
    case IOCTL_SIM_SCRIPT_FAULT: {
        SimFaultRequest fault;
        memcpy(&fault, request.input, sizeof(fault));
        uint32_t count = fault.count;
        NameOrNumber command{};
        if (fault.command == kAnyCommand)
            snprintf(command.text, sizeof(command.text), "any command");
        else
            command = CommandLabel(fault.command);
        if (count == 0 && fault.command == kAnyCommand) {
            Append(out, "%s: every fault script cleared\n", label.text);
            break;
        }
        if (count == 0) {
            Append(out, "%s: fault script for %s cleared\n", label.text, command.text);
            break;
        }
        const bool one = count == 1;
        Append(out, "%s: the next %u call%s of %s ", label.text, count, one ? "" : "s", command.text);
        if (fault.kind == FAULT_NO_ANSWER)
            Append(out, "%s the return code untouched\n", one ? "leaves" : "leave");
        else if (fault.kind == FAULT_FAIL_CALL)
            Append(out, "%s\n", one ? "fails" : "fail");
        else
            Append(out, "%s with return code 0x%02X\n", one ? "answers" : "answer", fault.return_code);
        break;
    }
    case IOCTL_SIM_FAIL_RECEIVES: {
        SimFailReceivesRequest fail;
        memcpy(&fail, request.input, sizeof(fail));
        uint32_t count = fail.count;
        Append(out, "%s: the next %u receive call%s\n", label.text, count, count == 1 ? " fails" : "s fail");
        break;
    }
    case IOCTL_SIM_SET_PLUGGED: {
        SimPlugRequest plug;
        memcpy(&plug, request.input, sizeof(plug));
        Append(out, "%s: %s\n", label.text, plug.plugged != 0 ? "plugged in" : "unplugged");
        break;
    }
    case IOCTL_SIM_SET_GENERATOR: {
        SimGeneratorRequest generator;
        memcpy(&generator, request.input, sizeof(generator));
        if (generator.enabled == 0) {
            Append(out, "%s: generator off\n", label.text);
            break;
        }
        unsigned length = generator.length;
        uint32_t rate = generator.rate;
        uint32_t count = generator.count;
        Append(out, "%s: generator on, %u-byte frames ", label.text, length);
        if (rate == 0)
            Append(out, "as fast as taken");
        else
            Append(out, "at %u a second", rate);
        if (count == 0)
            Append(out, ", until off\n");
        else
            Append(out, ", %u frame%s\n", count, count == 1 ? "" : "s");
        break;
    }
    case IOCTL_SIM_RESET:
        Append(out, "every adapter is back at its power-on state\n");
        break;
    default:
        Append(out, "done\n");
        break;
    }
}

bool FormatReply(const SimRequest& request, const ReplyBuffer& reply, uint32_t returned, TextBuffer* out)
{
    if (returned != request.output_length) {
        Append(out, "qz6sim: the simulator answered %s with %u bytes instead of %u\n", request.verb, returned,
               request.output_length);
        return false;
    }
    switch (request.reply) {
    case ReplyKind::Status:
        FormatStatus(reply.status, request, out);
        break;
    case ReplyKind::Log:
        FormatLog(reply.log, request.adapter, request.log_last, out);
        break;
    case ReplyKind::InjectResult:
        FormatInjectResult(reply.inject, out);
        break;
    case ReplyKind::None:
        FormatDone(request, out);
        break;
    }
    return true;
}

}  // namespace qz6::simtool
