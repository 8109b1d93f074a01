// The text of qz6sim status: the simulator's version and uptime, then each
// adapter section by section.
#include "tools/qz6sim/sim_text_parts.h"

#include <string.h>

namespace qz6::simtool {

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
    AppendDriverQueue(adapter, out);
    const uint32_t pending = adapter.pending_receives;
    Append(out, "  handles        %u open, %u receive%s pending\n", adapter.open_handles, pending,
           pending == 1 ? "" : "s");
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
        if (!StatusShows(status, request, i))
            continue;
        Append(out, "\n");
        FormatAdapterStatus(status.adapters[i], i, out);
        ++shown;
    }
    if (shown == 0)
        Append(out, "\nno adapter is present ('qz6sim status --all' shows the absent ones)\n");
}

}  // namespace qz6::simtool
