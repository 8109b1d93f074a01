// The text of qz6sim log: an adapter's logged requests, one line each.
#include "tools/qz6sim/sim_text_parts.h"

#include <stdio.h>

namespace qz6::simtool {

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

}  // namespace qz6::simtool
