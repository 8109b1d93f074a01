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
           "  impair ADAPTER [--drop N] [--corrupt N] [--crc-error N] [--abort N]\n"
           "                                of the frames arriving at ADAPTER over its cable, every\n"
           "                                Nth is lost, has a byte changed (valid CRC), has a bad\n"
           "                                CRC or is aborted; counted from now, shown by status\n"
           "  impair ADAPTER off            a clean line again\n"
           "  replay ADAPTER FILE [--speed FACTOR | --rate FRAMES_PER_SECOND] [--all]\n"
           "                                the inbound frames of a pcapng or pcap file (--all: every\n"
           "                                frame) arrive at ADAPTER with the recorded spacing, sped\n"
           "                                up by FACTOR (2, 0.5, ...) or at a fixed rate\n"
           "  reset                         every adapter back to its power-on state\n"
           "  help                          this text\n"
           "\n"
           "ADAPTER is 0 to 7 or a device name: ROZAR6O0, KORQZ6C1 to KORQZ6C7.\n"
           "Numbers are decimal or hex with 0x. Lengths are at most %u bytes.\n"
           "\n"
           "Exit status: 0 done, 1 usage error, 2 the control device cannot be opened\n"
           "(the Zurezi6 service is not running), 3 the call failed, 4 the capture file\n"
           "cannot be read or is damaged (replay).\n",
           kLogEntries, kMaxReceivedFrame);
}

namespace {

// ---- The sections of one adapter's status ----------------------------------------

void AppendPresence(const SimAdapterStatus& adapter, unsigned index, TextBuffer* out)
{
    NameOrNumber label = AdapterLabel(index);
    if (adapter.present == 0)
        Append(out, "%s (%u): absent (no device: InterruptNumber is 0)\n", label.text, index);
    else
        Append(out, "%s (%u): present, %s\n", label.text, index, adapter.plugged != 0 ? "plugged in" : "unplugged");
    Append(out, "  resources      port 0x%X mem 0x%X irq %u\n", adapter.io_base, adapter.shared_memory,
           adapter.interrupt_number);
}

void AppendConfiguration(const SimAdapterStatus& adapter, TextBuffer* out)
{
    if (adapter.configured == 0) {
        Append(out, "  configuration  not set (no SET_CONFIGURATION since power-on)\n");
        return;
    }
    const StreamingConfiguration& c = adapter.configuration;
    Append(out, "  configuration  baud_rate %u max_frame_size %u percent_tx_buffers %u\n", c.baud_rate,
           c.max_frame_size, c.percent_tx_buffers);
    Append(out, "                 operational_bits 0x%04X modem_bits 0x%04X statistics_bits 0x%04X\n",
           c.operational_bits, c.modem_bits, c.statistics_bits);
    Append(out, "                 adapter_frequency %u transmit_buffers %u receive_buffers %u\n",
           c.adapter_frequency, c.transmit_buffers, c.receive_buffers);
}

void AppendChannelAndLines(const SimAdapterStatus& adapter, TextBuffer* out)
{
    Append(out, "  channel        %s, bridge %s, bad-CRC frames %s\n",
           adapter.channel_enabled != 0 ? "enabled" : "disabled", OnOff(adapter.bridge),
           adapter.pass_bad_crc != 0 ? "passed" : "dropped");
    Append(out, "  lines          DTR %u RTS %u DCD %u CTS %u (inputs %s)\n", adapter.dtr != 0 ? 1u : 0u,
           adapter.rts != 0 ? 1u : 0u, adapter.dcd != 0 ? 1u : 0u, adapter.cts != 0 ? 1u : 0u,
           adapter.manual_inputs != 0 ? "set by hand" : "from the cable");
}

void AppendCable(const SimAdapterStatus& adapter, TextBuffer* out)
{
    const char* cable = CableName(adapter.cable);
    if (adapter.cable == CABLE_NULL_MODEM)
        Append(out, "  cable          null-modem to %s\n", AdapterLabel(adapter.peer).text);
    else if (cable != nullptr)
        Append(out, "  cable          %s\n", cable);
    else
        Append(out, "  cable          unknown kind %u\n", adapter.cable);
}

// "1 in 10 lost, 1 in 5 changed": the rates that are set.
void AppendImpairmentRates(const SimImpairmentRates& every, TextBuffer* out)
{
    const struct {
        uint32_t rate;
        const char* what;
    } rates[] = {
        {every.drop_every, "lost"},
        {every.corrupt_every, "changed"},
        {every.crc_error_every, "bad CRC"},
        {every.abort_every, "aborted"},
    };
    const char* separator = "";
    for (const auto& rate : rates) {
        if (rate.rate == 0)
            continue;
        Append(out, "%s1 in %u %s", separator, rate.rate, rate.what);
        separator = ", ";
    }
}

bool Impaired(const SimImpairmentRates& every)
{
    return (every.drop_every | every.corrupt_every | every.crc_error_every | every.abort_every) != 0;
}

void AppendImpairments(const SimAdapterStatus& adapter, TextBuffer* out)
{
    const SimImpairments& impairments = adapter.impairments;
    if (!Impaired(impairments.every)) {
        Append(out, "  impairments    none\n");
        return;
    }
    Append(out, "  impairments    ");
    AppendImpairmentRates(impairments.every, out);
    Append(out, "\n                 since set: %u arrived, %u lost, %u changed, %u bad CRC, %u aborted\n",
           impairments.arrivals, impairments.lost, impairments.corrupted, impairments.crc_errors,
           impairments.aborted);
}

void AppendQueuesAndHandles(const SimAdapterStatus& adapter, TextBuffer* out)
{
    Append(out, "  queues         rx %u tx %u, dropped %u\n", adapter.rx_queued, adapter.tx_queued,
           adapter.frames_dropped);
    const uint32_t pending = adapter.pending_receives;
    Append(out, "  handles        %u open, %u receive%s pending\n", adapter.open_handles, pending,
           pending == 1 ? "" : "s");
}

// "64-byte frames at 100 a second" or "... as fast as taken".
void AppendGeneratorFrames(unsigned length, uint32_t rate, TextBuffer* out)
{
    Append(out, "%u-byte frames ", length);
    if (rate == 0)
        Append(out, "as fast as taken");
    else
        Append(out, "at %u a second", rate);
}

void AppendGenerator(const SimAdapterStatus& adapter, TextBuffer* out)
{
    if (adapter.generator_enabled == 0) {
        Append(out, "  generator      off, %u generated\n", adapter.generator_count);
        return;
    }
    Append(out, "  generator      on, ");
    AppendGeneratorFrames(adapter.generator_length, adapter.generator_rate, out);
    const uint32_t remaining = adapter.generator_remaining;
    if (remaining == 0)
        Append(out, ", until off");
    else
        Append(out, ", %u to go", remaining);
    Append(out, ", %u generated\n", adapter.generator_count);
}

void AppendStatistics(const SimAdapterStatus& adapter, TextBuffer* out)
{
    const StatisticsReply& s = adapter.statistics;
    Append(out, "  statistics     tx_frames %u tx_bytes %u rx_frames %u rx_bytes %u\n", s.tx_frames, s.tx_bytes,
           s.rx_frames, s.rx_bytes);
    Append(out, "                 rx_discards_too_long %u bridge_tx_discards %u\n", s.rx_discards_too_long,
           s.bridge_tx_discards);
    Append(out, "  throughput     tx %u bytes/s over %u ms, rx %u bytes/s over %u ms\n", s.tx_throughput,
           s.tx_throughput_ms, s.rx_throughput, s.rx_throughput_ms);
}

void AppendCommErrors(const SimAdapterStatus& adapter, TextBuffer* out)
{
    const CommErrorsReply& e = adapter.comm_errors;
    Append(out, "  comm errors    rx_overruns %u rx_crc_errors %u rx_aborts %u rx_disabled_bfrs_full %u\n",
           e.rx_overruns, e.rx_crc_errors, e.rx_aborts, e.rx_disabled_bfrs_full);
    Append(out, "                 tx_aborts %u dcd_drops %u cts_drops %u\n", e.tx_aborts, e.dcd_drops, e.cts_drops);
}

}  // namespace

void FormatAdapterStatus(const SimAdapterStatus& adapter, unsigned index, TextBuffer* out)
{
    AppendPresence(adapter, index, out);
    if (adapter.present == 0)
        return;
    AppendConfiguration(adapter, out);
    AppendChannelAndLines(adapter, out);
    AppendCable(adapter, out);
    AppendImpairments(adapter, out);
    AppendQueuesAndHandles(adapter, out);
    AppendGenerator(adapter, out);
    AppendStatistics(adapter, out);
    AppendCommErrors(adapter, out);
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

namespace {

// ---- Confirmations of the requests without a reply, one per control code ---------

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
    Append(out, "%s: of the frames arriving over the cable, ", adapter);
    AppendImpairmentRates(impair.every, out);
    Append(out, "\n");
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
    case ReplyKind::Replay:
        break;  // RunReplay reports frame by frame
    }
    return true;
}

}  // namespace qz6::simtool
