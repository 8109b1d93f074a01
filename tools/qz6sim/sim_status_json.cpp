// qz6sim status --json: for each adapter one object of flat keys, every
// field the text status shows, one row of kKeys each; wait reads the same
// rows as its counters.
#include "tools/qz6sim/sim_status_keys.h"

#include <string.h>

#include "tools/qz6sim/sim_text_parts.h"

namespace qz6::simtool {
namespace {

using View = const KeyView&;

constexpr StatusKey Number(const char* name, uint32_t (*get)(View))
{
    return {name, KeyKind::Number, get, nullptr};
}
constexpr StatusKey Flag(const char* name, uint32_t (*get)(View))
{
    return {name, KeyKind::Flag, get, nullptr};
}
constexpr StatusKey Text(const char* name, std::string_view (*get)(View))
{
    return {name, KeyKind::Text, nullptr, get};
}

std::string_view Version(View v)
{
    return {v.status.version, strnlen(v.status.version, sizeof(v.status.version))};
}

std::string_view Peer(View v)
{
    if (v.adapter.cable != CABLE_NULL_MODEM || v.adapter.peer >= kAdapterCount)
        return {};
    return kAdapterDeviceNames[v.adapter.peer];
}

std::string_view Cable(View v)
{
    const char* name = CableName(v.adapter.cable);
    return name != nullptr ? std::string_view(name) : std::string_view("unknown");
}

// Frames the generator has still to make: none when it is off or runs
// until switched off.
uint32_t GeneratorRemaining(View v)
{
    return v.adapter.generator_enabled != 0 ? v.adapter.generator_remaining : 0;
}

// The order of the text status, section by section.
constexpr StatusKey kKeys[] = {
    Text("adapter", [](View v) -> std::string_view { return kAdapterDeviceNames[v.index]; }),
    Number("index", [](View v) -> uint32_t { return v.index; }),
    Text("driver_version", Version),
    Number("uptime_ms", [](View v) -> uint32_t { return v.status.uptime_ms; }),
    Flag("present", [](View v) -> uint32_t { return v.adapter.present; }),
    Flag("plugged", [](View v) -> uint32_t { return v.adapter.plugged; }),
    Number("io_base", [](View v) -> uint32_t { return v.adapter.io_base; }),
    Number("shared_memory", [](View v) -> uint32_t { return v.adapter.shared_memory; }),
    Number("interrupt_number", [](View v) -> uint32_t { return v.adapter.interrupt_number; }),
    Flag("configured", [](View v) -> uint32_t { return v.adapter.configured; }),
    Number("baud_rate", [](View v) -> uint32_t { return v.adapter.configuration.baud_rate; }),
    Number("max_frame_size", [](View v) -> uint32_t { return v.adapter.configuration.max_frame_size; }),
    Number("percent_tx_buffers", [](View v) -> uint32_t { return v.adapter.configuration.percent_tx_buffers; }),
    Number("operational_bits", [](View v) -> uint32_t { return v.adapter.configuration.operational_bits; }),
    Number("modem_bits", [](View v) -> uint32_t { return v.adapter.configuration.modem_bits; }),
    Number("statistics_bits", [](View v) -> uint32_t { return v.adapter.configuration.statistics_bits; }),
    Number("adapter_frequency", [](View v) -> uint32_t { return v.adapter.configuration.adapter_frequency; }),
    Number("transmit_buffers", [](View v) -> uint32_t { return v.adapter.configuration.transmit_buffers; }),
    Number("receive_buffers", [](View v) -> uint32_t { return v.adapter.configuration.receive_buffers; }),
    Flag("comms", [](View v) -> uint32_t { return v.adapter.channel_enabled; }),
    Flag("bridge", [](View v) -> uint32_t { return v.adapter.bridge; }),
    Flag("pass_bad_crc", [](View v) -> uint32_t { return v.adapter.pass_bad_crc; }),
    Flag("dtr", [](View v) -> uint32_t { return v.adapter.dtr; }),
    Flag("rts", [](View v) -> uint32_t { return v.adapter.rts; }),
    Flag("dcd", [](View v) -> uint32_t { return v.adapter.dcd; }),
    Flag("cts", [](View v) -> uint32_t { return v.adapter.cts; }),
    Flag("manual_inputs", [](View v) -> uint32_t { return v.adapter.manual_inputs; }),
    Text("cable", Cable),
    Text("peer", Peer),
    Number("impair_drop_every", [](View v) -> uint32_t { return v.adapter.impairments.every.drop_every; }),
    Number("impair_corrupt_every", [](View v) -> uint32_t { return v.adapter.impairments.every.corrupt_every; }),
    Number("impair_crc_error_every", [](View v) -> uint32_t { return v.adapter.impairments.every.crc_error_every; }),
    Number("impair_abort_every", [](View v) -> uint32_t { return v.adapter.impairments.every.abort_every; }),
    Number("impaired_arrivals", [](View v) -> uint32_t { return v.adapter.impairments.arrivals; }),
    Number("impaired_dropped", [](View v) -> uint32_t { return v.adapter.impairments.lost; }),
    Number("impaired_corrupted", [](View v) -> uint32_t { return v.adapter.impairments.corrupted; }),
    Number("impaired_crc_errors", [](View v) -> uint32_t { return v.adapter.impairments.crc_errors; }),
    Number("impaired_aborted", [](View v) -> uint32_t { return v.adapter.impairments.aborted; }),
    Number("rx_queued", [](View v) -> uint32_t { return v.adapter.rx_queued; }),
    Number("tx_queued", [](View v) -> uint32_t { return v.adapter.tx_queued; }),
    Number("frames_dropped", [](View v) -> uint32_t { return v.adapter.frames_dropped; }),
    Number("driver_queue_max_frames", [](View v) -> uint32_t { return v.adapter.driver_queue_max_frames; }),
    Number("driver_queue_max_bytes", [](View v) -> uint32_t { return v.adapter.driver_queue_max_bytes; }),
    Number("driver_queue_frames", [](View v) -> uint32_t { return v.adapter.driver_queue_frames; }),
    Number("driver_queue_bytes", [](View v) -> uint32_t { return v.adapter.driver_queue_bytes; }),
    Number("adapter_rx_queued", [](View v) -> uint32_t { return v.adapter.adapter_rx_queued; }),
    Number("driver_queue_peak_frames", [](View v) -> uint32_t { return v.adapter.driver_queue_peak_frames; }),
    Number("open_handles", [](View v) -> uint32_t { return v.adapter.open_handles; }),
    Number("pending_receives", [](View v) -> uint32_t { return v.adapter.pending_receives; }),
    Flag("gen_enabled", [](View v) -> uint32_t { return v.adapter.generator_enabled; }),
    Number("gen_length", [](View v) -> uint32_t { return v.adapter.generator_length; }),
    Number("gen_rate", [](View v) -> uint32_t { return v.adapter.generator_rate; }),
    Flag("gen_until_off", [](View v) -> uint32_t {
        return v.adapter.generator_enabled != 0 && v.adapter.generator_remaining == 0;
    }),
    Number("gen_remaining", GeneratorRemaining),
    Number("gen_generated", [](View v) -> uint32_t { return v.adapter.generator_count; }),
    Number("tx_frames", [](View v) -> uint32_t { return v.adapter.statistics.tx_frames; }),
    Number("tx_bytes", [](View v) -> uint32_t { return v.adapter.statistics.tx_bytes; }),
    Number("rx_frames", [](View v) -> uint32_t { return v.adapter.statistics.rx_frames; }),
    Number("rx_bytes", [](View v) -> uint32_t { return v.adapter.statistics.rx_bytes; }),
    Number("rx_discards_too_long", [](View v) -> uint32_t { return v.adapter.statistics.rx_discards_too_long; }),
    Number("bridge_tx_discards", [](View v) -> uint32_t { return v.adapter.statistics.bridge_tx_discards; }),
    Number("tx_throughput", [](View v) -> uint32_t { return v.adapter.statistics.tx_throughput; }),
    Number("tx_throughput_ms", [](View v) -> uint32_t { return v.adapter.statistics.tx_throughput_ms; }),
    Number("rx_throughput", [](View v) -> uint32_t { return v.adapter.statistics.rx_throughput; }),
    Number("rx_throughput_ms", [](View v) -> uint32_t { return v.adapter.statistics.rx_throughput_ms; }),
    Number("rx_overruns", [](View v) -> uint32_t { return v.adapter.comm_errors.rx_overruns; }),
    Number("rx_crc_errors", [](View v) -> uint32_t { return v.adapter.comm_errors.rx_crc_errors; }),
    Number("rx_aborts", [](View v) -> uint32_t { return v.adapter.comm_errors.rx_aborts; }),
    Number("rx_disabled_bfrs_full", [](View v) -> uint32_t { return v.adapter.comm_errors.rx_disabled_bfrs_full; }),
    Number("tx_aborts", [](View v) -> uint32_t { return v.adapter.comm_errors.tx_aborts; }),
    Number("dcd_drops", [](View v) -> uint32_t { return v.adapter.comm_errors.dcd_drops; }),
    Number("cts_drops", [](View v) -> uint32_t { return v.adapter.comm_errors.cts_drops; }),
};

// A JSON string: quotes, backslashes and every byte outside printable
// ASCII escaped, so any bytes give valid JSON in plain ASCII.
void AppendJsonString(std::string_view text, TextBuffer* out)
{
    Append(out, "\"");
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\')
            Append(out, "\\%c", c);
        else if (byte < 0x20 || byte >= 0x7F)
            Append(out, "\\u%04X", byte);
        else
            Append(out, "%c", c);
    }
    Append(out, "\"");
}

void AppendAdapterObject(const KeyView& view, TextBuffer* out)
{
    Append(out, "  {");
    const char* separator = "\n";
    for (const StatusKey& key : kKeys) {
        Append(out, "%s    \"%s\": ", separator, key.name);
        separator = ",\n";
        if (key.kind == KeyKind::Number) {
            Append(out, "%u", key.number(view));
        } else if (key.kind == KeyKind::Flag) {
            Append(out, "%s", key.number(view) != 0 ? "true" : "false");
        } else {
            const std::string_view text = key.text(view);
            if (text.data() == nullptr)
                Append(out, "null");
            else
                AppendJsonString(text, out);
        }
    }
    Append(out, "\n  }");
}

}  // namespace

const StatusKey* FindCounter(std::string_view name)
{
    for (const StatusKey& key : kKeys) {
        if (key.kind != KeyKind::Text && name == key.name)
            return &key;
    }
    return nullptr;
}

uint32_t CounterValue(const StatusKey& key, const SimStatus& status, unsigned index)
{
    const KeyView view{status, index, status.adapters[index % kAdapterCount]};
    return key.number != nullptr ? key.number(view) : 0;
}

void FormatStatusJson(const SimStatus& status, const SimRequest& request, TextBuffer* out)
{
    Append(out, "[");
    const char* separator = "\n";
    for (unsigned i = 0; i < kAdapterCount; ++i) {
        if (!StatusShows(status, request, i))
            continue;
        Append(out, "%s", separator);
        separator = ",\n";
        AppendAdapterObject(KeyView{status, i, status.adapters[i]}, out);
    }
    Append(out, "\n]\n");
}

void FormatCounterNames(TextBuffer* out)
{
    constexpr size_t kWidth = 78;
    size_t column = 0;
    for (const StatusKey& key : kKeys) {
        if (key.kind == KeyKind::Text)
            continue;
        const size_t length = strlen(key.name);
        if (column == 0) {
            Append(out, "  %s", key.name);
            column = 2 + length;
        } else if (column + 2 + length > kWidth) {
            Append(out, ",\n  %s", key.name);
            column = 2 + length;
        } else {
            Append(out, ", %s", key.name);
            column += 2 + length;
        }
    }
    Append(out, "\n");
}

}  // namespace qz6::simtool
