// Drives the adapter model the way the kernel layer does, with untrusted
// lengths and bytes, from a fuzzer's input: a power-on, then a sequence of
// operations (commands, receives, control requests, time), each followed by
// checks of what the call returned and of the bank's bookkeeping.
//
// Shared by the stream and the control harnesses; each gives its own mix of
// operations.
#pragma once

#include <string.h>

#include "driver/model/adapter_model.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/model_run.h"

namespace qz6::fuzz {

using namespace qz6::sim;

enum class ModelOp : uint8_t {
    StreamRaw,      // any control code, lengths and bytes
    StreamCommand,  // a well-formed block of any command
    Configure,      // SET_CONFIGURATION with values the adapter takes, then maybe ENABLE_COMMS
    Receive,        // any record size, first attempt or retry
    Advance,        // time moves, the line runs
    Tick,           // time moves without a call
    Handles,        // opens, closes, pending receive counts
    SimRaw,         // any control code, lengths and bytes on the control device
    SimRequest,     // a control request of the right size with any contents
};

// ---------------------------------------------------------------------------
// Power-on: which adapters are present comes from the input.

inline void PowerOnBank(AdapterBank& bank, Input& in, ModelRun& run)
{
    const uint8_t present = in.U8();
    AdapterResources resources[kAdapterCount];
    for (unsigned i = 0; i < kAdapterCount; ++i)
        resources[i] = AdapterResources{0x300u + 0x10u * i, 0xD0000u + 0x2000u * i, (present >> i) & 1u ? 5u + i : 0u};
    run = ModelRun{};
    run.now = 1000000u + in.U16();
    run.latest = run.now;
    PowerOn(bank, resources, run.now);
    CheckBank(bank, run);
}

// ---------------------------------------------------------------------------
// Stream commands.

inline uint32_t StreamControlCode(Input& in)
{
    switch (in.U8() % 5) {
    case 0:
    case 1: return IOCTL_STREAM_COMMAND;
    case 2: return IOCTL_STREAM_SEND;
    case 3: return IOCTL_STREAM_RECEIVE;
    default: return in.U32();
    }
}

// One StreamCommand call on buffers of the shape given, and its checks.
// `request` holds the call's input_length bytes.
inline void CallStreamCommand(AdapterBank& bank, ModelRun& run, ModelBuffers& buffers, unsigned index,
                              uint32_t control_code, const uint8_t* request, const CallShape& shape, uint64_t at)
{
    uint8_t* input = nullptr;
    uint8_t* output = nullptr;
    buffers.stream.Claim(shape, request, &input, &output);
    uint32_t written = 0xDEADBEEF;
    const CallOutcome outcome = StreamCommand(bank, index, control_code, input, shape.input_length, output,
                                              shape.output_length, CallTime(run, at, index < kAdapterCount), &written);
    buffers.stream.Release(request);
    const uint8_t* const reply = buffers.stream.reply;

    FUZZ_CHECK(outcome != CallOutcome::Pending);
    if (outcome == CallOutcome::Completed) {
        FUZZ_CHECK(written == kCommandBlockSize && shape.output_length == kCommandBlockSize && !shape.null_output);
        FUZZ_CHECK(shape.input_length >= kCommandHeaderSize && !shape.null_input);
        FUZZ_CHECK(reply[1] == request[1]);  // the block answers the command it carried
        FUZZ_CHECK(static_cast<uint32_t>(reply[2] | (reply[3] << 8)) <= kCommandDataSize);
    } else {
        FUZZ_CHECK(written == 0);
        FUZZ_CHECK(buffers.stream.NothingWritten());
    }
    NoteLogged(run, index, control_code);
    CheckBank(bank, run);
}

// The length a call is given: mostly the one its request needs (if the
// buffer holds that much), else any, or one or two off.
inline uint32_t PickLength(Input& in, uint32_t exact, uint32_t max)
{
    if (exact > max)
        exact = max;
    switch (in.U8() % 4) {
    case 0:
    case 1: return exact;
    case 2: return in.U16() % (max + 1);
    default: {
        const uint32_t near = exact + (in.U8() % 5) - 2;  // one or two off
        return near <= max ? near : exact;
    }
    }
}

// Any control code, any lengths, any bytes.
inline void OpStreamRaw(AdapterBank& bank, ModelRun& run, ModelBuffers& buffers, Input& in)
{
    const unsigned index = in.U8() & 0x0F;
    const uint32_t control_code = StreamControlCode(in);
    uint8_t request[kStreamBufferSize];
    FillFrom(request, kCommandHeaderSize, in.Bytes(kCommandHeaderSize), 0);
    const uint16_t data_length = static_cast<uint16_t>(request[2] | (request[3] << 8));
    const uint32_t input_length = PickLength(in, kCommandHeaderSize + data_length, kStreamBufferSize);
    const uint32_t output_length = PickLength(in, kCommandBlockSize, kStreamBufferSize);
    const uint8_t flags = in.U8();
    if (input_length > kCommandHeaderSize)
        FillFrom(request + kCommandHeaderSize, input_length - kCommandHeaderSize,
                 in.Bytes(input_length - kCommandHeaderSize), 0xC3);
    const CallShape shape{input_length, output_length, (flags & 1) != 0, (flags & 0x0E) == 0x0E, (flags & 0x70) == 0x70};
    CallStreamCommand(bank, run, buffers, index, control_code, request, shape, StepTime(in, run));
}

// A block of the right lengths: any command, any payload.
inline void OpStreamCommand(AdapterBank& bank, ModelRun& run, ModelBuffers& buffers, Input& in)
{
    const unsigned index = in.U8() % kAdapterCount;
    uint8_t request[kCommandBlockSize] = {};
    const uint8_t pick = in.U8();
    request[1] = pick < 0xF0 ? static_cast<uint8_t>(pick % kCommandCount) : pick;
    request[4] = NO_RESPONSE_CODE;
    const uint16_t data_length = static_cast<uint16_t>(in.U16() % (kCommandDataSize + 1));
    request[2] = static_cast<uint8_t>(data_length);
    request[3] = static_cast<uint8_t>(data_length >> 8);
    FillFrom(request + kCommandHeaderSize, data_length, in.Bytes(data_length), 0x3C);
    const bool same_buffer = in.Flag();
    const uint32_t control_code = request[1] == SEND_I_FRAME ? IOCTL_STREAM_SEND : IOCTL_STREAM_COMMAND;
    const CallShape shape{kCommandHeaderSize + data_length, kCommandBlockSize, same_buffer, false, false};
    CallStreamCommand(bank, run, buffers, index, control_code, request, shape, StepTime(in, run));
}

// A configuration the adapter takes, so that runs get to the enabled line.
inline void OpConfigure(AdapterBank& bank, ModelRun& run, ModelBuffers& buffers, Input& in)
{
    const unsigned index = in.U8() % kAdapterCount;
    StreamingConfiguration config{};
    config.baud_rate = 1u + in.U32() % kMaxBaudRate;
    config.max_frame_size = static_cast<uint16_t>(1u + in.U16() % kMaxFrame);
    config.percent_tx_buffers = static_cast<uint16_t>(4u + in.U8() % 93u);
    config.operational_bits = in.U8();
    config.modem_bits = in.U8();
    config.statistics_bits = in.U8();
    uint8_t request[kCommandBlockSize] = {};
    request[1] = SET_CONFIGURATION;
    request[2] = kConfigurationSetSize;
    request[4] = NO_RESPONSE_CODE;
    memcpy(request + kCommandHeaderSize, &config, kConfigurationSetSize);
    const uint8_t then = in.U8();
    const CallShape configure{kCommandHeaderSize + kConfigurationSetSize, kCommandBlockSize, (then & 2) != 0, false,
                              false};
    CallStreamCommand(bank, run, buffers, index, IOCTL_STREAM_COMMAND, request, configure, StepTime(in, run));
    if (then & 1) {
        uint8_t enable[kCommandHeaderSize] = {0, ENABLE_COMMS, 0, 0, NO_RESPONSE_CODE};
        const CallShape shape{kCommandHeaderSize, kCommandBlockSize, false, false, false};
        CallStreamCommand(bank, run, buffers, index, IOCTL_STREAM_COMMAND, enable, shape, run.now);
    }
}

// ---------------------------------------------------------------------------
// Receives.

inline uint32_t RecordSize(Input& in)
{
    static constexpr uint32_t kSizes[] = {0, 1, 15, 16, 17, 18, 64, 528, 2000, 13999, 14000, 14001};
    const uint8_t pick = in.U8();
    if (pick < 0xC0)
        return kSizes[pick % (sizeof(kSizes) / sizeof(kSizes[0]))];
    return in.U16() % (kRecordBufferSize + 1);
}

inline void OpReceive(AdapterBank& bank, ModelRun& run, ModelBuffers& buffers, Input& in)
{
    const uint8_t pick = in.U8();
    const unsigned index = pick < 0xF8 ? pick % kAdapterCount : pick & 0x0F;
    const uint32_t record_size = RecordSize(in);
    const uint8_t flags = in.U8();
    const bool first_attempt = flags & 1;
    const bool null_record = (flags & 0x1E) == 0x1E;
    uint8_t* record = buffers.record.Claim(record_size);
    memset(record, kUnwritten, record_size);

    uint32_t written = 0xDEADBEEF;
    const CallOutcome outcome = Receive(bank, index, null_record ? nullptr : record, record_size, first_attempt,
                                        CallTime(run, StepTime(in, run), index < kAdapterCount), &written);
    buffers.record.Release();

    if (outcome == CallOutcome::Completed) {
        FUZZ_CHECK(!null_record && index < kAdapterCount);
        FUZZ_CHECK(record_size >= kReceiveHeaderSize);
        FUZZ_CHECK(written >= kReceiveHeaderSize && written <= record_size);
        const uint8_t status = record[0];
        const uint32_t frame_length = static_cast<uint32_t>(record[1] | (record[2] << 8));
        FUZZ_CHECK(status == RECEIVE_FRAME_PRESENT || status == RECEIVE_CHANNEL_DISABLED ||
                   status == RECEIVE_DEVICE_REMOVED);
        if (status == RECEIVE_FRAME_PRESENT) {
            FUZZ_CHECK(frame_length <= kMaxReceivedFrame);
            const uint32_t room = record_size - kReceiveHeaderSize;
            FUZZ_CHECK(written == kReceiveHeaderSize + (frame_length < room ? frame_length : room));
        } else {
            FUZZ_CHECK(written == kReceiveHeaderSize && frame_length == 0);
        }
    } else {
        FUZZ_CHECK(written == 0);
        FUZZ_CHECK(AllBytes(record, record_size, kUnwritten));  // nothing written
    }
    if (index >= kAdapterCount || null_record)
        FUZZ_CHECK(outcome == CallOutcome::InvalidParameter);
    if (first_attempt)
        NoteLogged(run, index, IOCTL_STREAM_RECEIVE);
    CheckBank(bank, run);
}

// ---------------------------------------------------------------------------
// Time and handles.

inline void OpAdvance(AdapterBank& bank, ModelRun& run, Input& in)
{
    const uint64_t at = CallTime(run, StepTime(in, run));
    Advance(bank, at);
    // Everything due by now has happened: the next event lies ahead, or the
    // kernel layer's timer would fire at once, again and again.
    FUZZ_CHECK(NextEventUs(bank, bank.now_us) > bank.now_us);
    CheckBank(bank, run);
}

inline void OpTick(ModelRun& run, Input& in)
{
    StepTime(in, run);
}

inline void OpHandles(AdapterBank& bank, ModelRun& run, Input& in)
{
    const uint8_t pick = in.U8();
    const unsigned index = pick & 0x0F;
    switch ((pick >> 4) % 3) {
    case 0:
        HandleOpened(bank, index, CallTime(run, StepTime(in, run), index < kAdapterCount));
        NoteLogged(run, index, LOG_HANDLE_OPENED);
        break;
    case 1:
        HandleClosed(bank, index, CallTime(run, StepTime(in, run), index < kAdapterCount));
        NoteLogged(run, index, LOG_HANDLE_CLOSED);
        break;
    default:
        NotePendingReceives(bank, index, in.U32());
        break;
    }
    CheckBank(bank, run);
}

// ---------------------------------------------------------------------------
// The control device.

struct ControlLayout {
    uint32_t code;
    uint32_t input_length;  // for INJECT_FRAME the header; the data follows
    uint32_t output_length;
};

inline constexpr ControlLayout kControlLayouts[] = {
    {IOCTL_SIM_GET_STATUS, 0, sizeof(SimStatus)},
    {IOCTL_SIM_SET_CABLE, sizeof(SimCableRequest), 0},
    {IOCTL_SIM_INJECT_FRAME, sizeof(SimInjectHeader), sizeof(SimInjectResult)},
    {IOCTL_SIM_SET_MODEM_INPUTS, sizeof(SimModemInputsRequest), 0},
    {IOCTL_SIM_SCRIPT_FAULT, sizeof(SimFaultRequest), 0},
    {IOCTL_SIM_FAIL_RECEIVES, sizeof(SimFailReceivesRequest), 0},
    {IOCTL_SIM_SET_PLUGGED, sizeof(SimPlugRequest), 0},
    {IOCTL_SIM_SET_GENERATOR, sizeof(SimGeneratorRequest), 0},
    {IOCTL_SIM_READ_LOG, sizeof(SimAdapterRequest), sizeof(SimLog)},
    {IOCTL_SIM_RESET, 0, 0},
    {IOCTL_SIM_SET_IMPAIRMENTS, sizeof(SimImpairRequest), 0},
    {IOCTL_SIM_SET_DRIVER_QUEUE, sizeof(SimDriverQueueRequest), 0},
    {IOCTL_SIM_RESET_COUNTERS, sizeof(SimAdapterRequest), 0},
};
constexpr unsigned kControlCodes = sizeof(kControlLayouts) / sizeof(kControlLayouts[0]);

inline void CheckLogReply(const SimLog& log, const ModelRun& run, unsigned adapter)
{
    const uint32_t expected = run.logged[adapter] < kLogEntries ? run.logged[adapter] : kLogEntries;
    FUZZ_CHECK(log.count == expected);
    for (uint32_t i = 1; i < log.count; ++i)
        FUZZ_CHECK(log.entries[i].sequence > log.entries[i - 1].sequence);  // oldest first
    if (log.count > 0)
        FUZZ_CHECK(log.entries[log.count - 1].control_code == run.last_logged[adapter]);
    if (log.count < kLogEntries)
        FUZZ_CHECK(AllBytes(&log.entries[log.count], (kLogEntries - log.count) * sizeof(SimLogEntry), 0));
}

// One SimControl call and its checks. `layout` is the request's entry when
// the code is one of the device's, else null.
inline void CallSimControl(AdapterBank& bank, ModelRun& run, ModelBuffers& buffers, uint32_t code,
                           const ControlLayout* layout, const uint8_t* request, const CallShape& shape, uint64_t at)
{
    uint8_t* input = nullptr;
    uint8_t* output = nullptr;
    buffers.control.Claim(shape, request, &input, &output);
    uint32_t written = 0xDEADBEEF;
    const CallOutcome outcome = SimControl(bank, code, input, shape.input_length, output, shape.output_length,
                                           CallTime(run, at), &written);
    buffers.control.Release(request);
    const uint8_t* const reply = buffers.control.reply;

    FUZZ_CHECK(outcome == CallOutcome::Completed || outcome == CallOutcome::InvalidParameter);
    if (outcome != CallOutcome::Completed) {
        FUZZ_CHECK(written == 0);
        FUZZ_CHECK(buffers.control.NothingWritten());
        CheckBank(bank, run);
        return;
    }
    // A missing buffer counts as one of no bytes.
    const uint32_t input_given = shape.null_input ? 0 : shape.input_length;
    const uint32_t output_given = shape.null_output ? 0 : shape.output_length;
    FUZZ_CHECK(layout != nullptr);
    FUZZ_CHECK(written == layout->output_length && output_given == layout->output_length);
    if (layout->code != IOCTL_SIM_INJECT_FRAME)
        FUZZ_CHECK(input_given == layout->input_length);

    switch (layout->code) {
    case IOCTL_SIM_RESET:
        // Logs start again; the time origin is the reset.
        for (unsigned i = 0; i < kAdapterCount; ++i)
            run.logged[i] = 0;
        break;
    case IOCTL_SIM_INJECT_FRAME:
        FUZZ_CHECK(reply[0] < kInjectOutcomeCount);
        break;
    case IOCTL_SIM_READ_LOG:
        memcpy(&buffers.log, reply, sizeof(SimLog));
        CheckLogReply(buffers.log, run, request[0]);
        break;
    case IOCTL_SIM_GET_STATUS: {
        SimStatus status;
        memcpy(&status, reply, sizeof(status));
        FUZZ_CHECK(memcmp(status.version, kCodeVersion, sizeof(kCodeVersion)) == 0);
        for (unsigned i = 0; i < kAdapterCount; ++i) {
            const SimAdapterStatus& adapter = status.adapters[i];
            FUZZ_CHECK(adapter.adapter_rx_queued <= kBufferPool && adapter.tx_queued <= kBufferPool);
            const uint32_t waiting = adapter.driver_queue_frames + adapter.adapter_rx_queued;
            FUZZ_CHECK(adapter.rx_queued == (waiting < 0xFFFFu ? waiting : 0xFFFFu));
            FUZZ_CHECK(adapter.present == bank.adapters[i].present);
            const SimImpairments& impairments = adapter.impairments;
            FUZZ_CHECK(uint64_t{impairments.lost} + impairments.corrupted + impairments.crc_errors + impairments.aborted <=
                       impairments.arrivals);
        }
        break;
    }
    default:
        break;
    }
    CheckBank(bank, run);
}

// Any code, any lengths, any bytes.
inline void OpSimRaw(AdapterBank& bank, ModelRun& run, ModelBuffers& buffers, Input& in)
{
    const uint8_t pick = in.U8();
    const ControlLayout* layout = nullptr;
    uint32_t code = 0;
    if (pick % 16 < kControlCodes) {
        layout = &kControlLayouts[pick % 16];
        code = layout->code;
    } else {
        code = in.U32();
        for (const ControlLayout& candidate : kControlLayouts) {
            if (candidate.code == code)
                layout = &candidate;
        }
    }
    const uint32_t exact_input = layout != nullptr ? layout->input_length : 0;
    const uint32_t exact_output = layout != nullptr ? layout->output_length : 0;
    const uint32_t input_length = PickLength(in, exact_input, kControlBufferSize);
    const uint32_t output_length = PickLength(in, exact_output, kControlBufferSize);
    const uint8_t flags = in.U8();
    static uint8_t request[kControlBufferSize];
    FillFrom(request, input_length, in.Bytes(input_length), 0xA5);
    const CallShape shape{input_length, output_length, (flags & 1) != 0, (flags & 0x0E) == 0x0E, (flags & 0x70) == 0x70};
    CallSimControl(bank, run, buffers, code, layout, request, shape, StepTime(in, run));
}

// A request of the right size, about a real adapter, with any contents.
inline void OpSimRequest(AdapterBank& bank, ModelRun& run, ModelBuffers& buffers, Input& in)
{
    const ControlLayout& layout = kControlLayouts[in.U8() % kControlCodes];
    static uint8_t request[kControlBufferSize];
    uint32_t input_length = layout.input_length;
    FillFrom(request, input_length, in.Bytes(input_length), 0);
    if (input_length > 0)
        request[0] = static_cast<uint8_t>(request[0] % kAdapterCount);
    const bool keep_values = in.Flag();  // else values folded into the accepted ranges
    if (layout.code == IOCTL_SIM_INJECT_FRAME) {
        SimInjectHeader header;
        memcpy(&header, request, sizeof(header));
        header.length = static_cast<uint16_t>(keep_values ? header.length % (kMaxFrame + 2) : header.length % 600u);
        memcpy(request, &header, sizeof(header));
        FillFrom(request + sizeof(header), header.length, in.Bytes(header.length), 0x96);
        input_length += header.length;
    } else if (layout.code == IOCTL_SIM_SET_GENERATOR && !keep_values) {
        SimGeneratorRequest generator;
        memcpy(&generator, request, sizeof(generator));
        generator.length = static_cast<uint16_t>(generator.length % 700u);
        generator.rate = generator.rate % (kMaxGeneratorRate + 1);
        generator.count = generator.count % 5000u;
        memcpy(request, &generator, sizeof(generator));
    } else if (layout.code == IOCTL_SIM_SET_CABLE && !keep_values) {
        request[1] = static_cast<uint8_t>(request[1] % 3);
        request[2] = static_cast<uint8_t>(request[2] % kAdapterCount);
    } else if (layout.code == IOCTL_SIM_SET_IMPAIRMENTS && !keep_values) {
        SimImpairRequest impair;
        memcpy(&impair, request, sizeof(impair));
        for (uint32_t* every : {&impair.every.drop_every, &impair.every.corrupt_every, &impair.every.crc_error_every,
                                &impair.every.abort_every})
            *every %= 6u;
        memcpy(request, &impair, sizeof(impair));
    } else if (layout.code == IOCTL_SIM_SET_DRIVER_QUEUE && !keep_values) {
        // Small queues, so that runs fill them and meet their limits.
        SimDriverQueueRequest queue;
        memcpy(&queue, request, sizeof(queue));
        queue.max_frames %= 40u;
        queue.max_bytes %= 4000u;
        memcpy(request, &queue, sizeof(queue));
    } else if (layout.code == IOCTL_SIM_SCRIPT_FAULT && !keep_values) {
        SimFaultRequest fault;
        memcpy(&fault, request, sizeof(fault));
        fault.kind = static_cast<uint8_t>(fault.kind % 3);
        fault.count = fault.count % 8u;
        memcpy(request, &fault, sizeof(fault));
    }
    const bool same_buffer = in.Flag();
    const uint64_t at = StepTime(in, run);
    const CallShape shape{input_length, layout.output_length, same_buffer, false, false};
    CallSimControl(bank, run, buffers, layout.code, &layout, request, shape, at);
}

// ---------------------------------------------------------------------------

// Power-on, then operations as `mix` maps the input's op bytes, until the
// input is used up or `max_ops` ran.
template <size_t N>
void RunModel(AdapterBank& bank, ModelBuffers& buffers, Input& in, const ModelOp (&mix)[N], unsigned max_ops)
{
    ModelRun run{};
    PowerOnBank(bank, in, run);
    for (unsigned n = 0; n < max_ops && !in.Empty(); ++n) {
        switch (mix[in.U8() % N]) {
        case ModelOp::StreamRaw: OpStreamRaw(bank, run, buffers, in); break;
        case ModelOp::StreamCommand: OpStreamCommand(bank, run, buffers, in); break;
        case ModelOp::Configure: OpConfigure(bank, run, buffers, in); break;
        case ModelOp::Receive: OpReceive(bank, run, buffers, in); break;
        case ModelOp::Advance: OpAdvance(bank, run, in); break;
        case ModelOp::Tick: OpTick(run, in); break;
        case ModelOp::Handles: OpHandles(bank, run, in); break;
        case ModelOp::SimRaw: OpSimRaw(bank, run, buffers, in); break;
        case ModelOp::SimRequest: OpSimRequest(bank, run, buffers, in); break;
        }
    }
}

}  // namespace qz6::fuzz
