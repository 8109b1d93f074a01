// The simulator's control device: a view of every adapter and the means to
// script the far end of the line (cables, injected frames, modem inputs,
// faults, plugging, generators, impairments), the driver's receive queue,
// the request log and a reset.
#include <string.h>

#include "driver/model/adapter_model.h"
#include "driver/model/model_internal.h"

namespace qz6::sim {
namespace detail {
namespace {

// Reads a request of exactly the size of T from the input.
template <typename T>
bool ReadRequest(const uint8_t* input, uint32_t input_length, T* request)
{
    if (input_length != sizeof(T))
        return false;
    memcpy(request, input, sizeof(T));
    return true;
}

SimAdapterStatus AdapterStatus(const Adapter& adapter)
{
    SimAdapterStatus status{};
    status.present = adapter.present;
    status.plugged = adapter.plugged;
    status.configured = adapter.configured;
    status.channel_enabled = adapter.channel_enabled;
    status.io_base = adapter.resources.io_base;
    status.shared_memory = adapter.resources.shared_memory;
    status.interrupt_number = adapter.resources.interrupt_number;
    status.configuration = adapter.configuration;
    status.bridge = adapter.bridge;
    status.pass_bad_crc = adapter.pass_bad_crc;
    status.dtr = adapter.dtr;
    status.rts = adapter.rts;
    status.dcd = adapter.dcd;
    status.cts = adapter.cts;
    status.manual_inputs = adapter.manual_inputs;
    status.cable = adapter.cable;
    status.peer = adapter.peer;
    const uint32_t waiting = FramesWaiting(adapter);
    status.rx_queued = static_cast<uint16_t>(waiting < 0xFFFFu ? waiting : 0xFFFFu);
    status.tx_queued = adapter.tx.count;
    status.frames_dropped = adapter.frames_dropped;
    status.open_handles = adapter.open_handles;
    status.pending_receives = adapter.pending_receives;
    status.generator_enabled = adapter.generator.enabled;
    status.generator_length = adapter.generator.length;
    status.generator_rate = adapter.generator.rate;
    status.generator_remaining = adapter.generator.remaining;
    status.generator_count = adapter.generator.generated;
    status.statistics = adapter.statistics;
    status.comm_errors = adapter.comm_errors;
    status.impairments = adapter.impairments;
    status.driver_queue_max_frames = adapter.driver_queue_limits.max_frames;
    status.driver_queue_max_bytes = adapter.driver_queue_limits.max_bytes;
    status.driver_queue_frames = adapter.driver_queue.frames;
    status.driver_queue_bytes = adapter.driver_queue.bytes;
    status.driver_queue_peak_frames = adapter.driver_queue.peak_frames;
    status.adapter_rx_queued = adapter.rx.count;
    return status;
}

CallOutcome GetStatus(const AdapterBank& bank, uint32_t input_length, uint8_t* output, uint32_t output_length,
                      uint64_t now_us, uint32_t* written)
{
    if (input_length != 0 || output_length != sizeof(SimStatus))
        return CallOutcome::InvalidParameter;
    const uint32_t uptime_ms = MsSincePowerOn(bank, now_us);
    memcpy(output + offsetof(SimStatus, uptime_ms), &uptime_ms, sizeof(uptime_ms));
    char version[sizeof(SimStatus::version)] = {};
    static_assert(sizeof(kCodeVersion) <= sizeof(version));
    memcpy(version, kCodeVersion, sizeof(kCodeVersion));
    memcpy(output + offsetof(SimStatus, version), version, sizeof(version));
    for (unsigned i = 0; i < kAdapterCount; ++i) {
        const SimAdapterStatus status = AdapterStatus(bank.adapters[i]);
        memcpy(output + offsetof(SimStatus, adapters) + i * sizeof(SimAdapterStatus), &status, sizeof(status));
    }
    *written = sizeof(SimStatus);
    return CallOutcome::Completed;
}

// Pulls out the cable at `index`; the far end of a null-modem cable is left
// with no cable.
void DisconnectCable(AdapterBank& bank, unsigned index)
{
    Adapter& adapter = bank.adapters[index];
    if (adapter.cable == CABLE_NULL_MODEM && ValidIndex(adapter.peer) && adapter.peer != index) {
        Adapter& peer = bank.adapters[adapter.peer];
        if (peer.cable == CABLE_NULL_MODEM && peer.peer == index) {
            peer.cable = CABLE_NONE;
            peer.peer = static_cast<uint8_t>(adapter.peer);
        }
    }
    adapter.cable = CABLE_NONE;
    adapter.peer = static_cast<uint8_t>(index);
}

CallOutcome SetCable(AdapterBank& bank, const uint8_t* input, uint32_t input_length, uint32_t output_length)
{
    SimCableRequest request{};
    if (output_length != 0 || !ReadRequest(input, input_length, &request) || !ValidIndex(request.adapter))
        return CallOutcome::InvalidParameter;
    if (request.kind != CABLE_NONE && request.kind != CABLE_LOOPBACK && request.kind != CABLE_NULL_MODEM)
        return CallOutcome::InvalidParameter;
    if (request.kind == CABLE_NULL_MODEM && (!ValidIndex(request.peer) || request.peer == request.adapter))
        return CallOutcome::InvalidParameter;

    DisconnectCable(bank, request.adapter);
    Adapter& adapter = bank.adapters[request.adapter];
    adapter.cable = request.kind;
    if (request.kind == CABLE_NULL_MODEM) {
        DisconnectCable(bank, request.peer);
        Adapter& peer = bank.adapters[request.peer];
        adapter.peer = request.peer;
        peer.cable = CABLE_NULL_MODEM;
        peer.peer = request.adapter;
    }
    return CallOutcome::Completed;
}

CallOutcome InjectFrame(AdapterBank& bank, const uint8_t* input, uint32_t input_length, uint8_t* output,
                        uint32_t output_length, uint64_t now_us, uint32_t* written)
{
    SimInjectHeader header{};
    if (input_length < sizeof(header) || output_length != sizeof(SimInjectResult))
        return CallOutcome::InvalidParameter;
    memcpy(&header, input, sizeof(header));
    if (!ValidIndex(header.adapter) || header.length > kMaxFrame || input_length != sizeof(header) + header.length)
        return CallOutcome::InvalidParameter;

    FrameSource frame{};
    frame.data = input + sizeof(header);
    frame.length = header.length;
    frame.bits = header.frame_bits;
    frame.bad_crc = (header.flags & INJECT_BAD_CRC) != 0;
    frame.abort = (header.flags & INJECT_ABORT) != 0;
    const SimInjectResult result{static_cast<uint8_t>(DeliverFrame(bank, header.adapter, frame, now_us))};
    memcpy(output, &result, sizeof(result));
    *written = sizeof(result);
    return CallOutcome::Completed;
}

CallOutcome SetModemInputs(AdapterBank& bank, const uint8_t* input, uint32_t input_length, uint32_t output_length)
{
    SimModemInputsRequest request{};
    if (output_length != 0 || !ReadRequest(input, input_length, &request) || !ValidIndex(request.adapter))
        return CallOutcome::InvalidParameter;
    Adapter& adapter = bank.adapters[request.adapter];
    adapter.manual_inputs = request.manual ? 1 : 0;
    adapter.manual_dcd = request.dcd ? 1 : 0;
    adapter.manual_cts = request.cts ? 1 : 0;
    return CallOutcome::Completed;
}

CallOutcome ScriptFault(AdapterBank& bank, const uint8_t* input, uint32_t input_length, uint32_t output_length)
{
    SimFaultRequest request{};
    if (output_length != 0 || !ReadRequest(input, input_length, &request) || !ValidIndex(request.adapter))
        return CallOutcome::InvalidParameter;
    if (request.kind != FAULT_RETURN_CODE && request.kind != FAULT_NO_ANSWER && request.kind != FAULT_FAIL_CALL)
        return CallOutcome::InvalidParameter;
    FaultScript* const faults = bank.adapters[request.adapter].faults;

    if (request.count == 0) {
        for (unsigned i = 0; i < kFaultSlots; ++i) {
            if (request.command == kAnyCommand || faults[i].command == request.command)
                faults[i] = FaultScript{};
        }
        return CallOutcome::Completed;
    }
    // The command's own slot, else a free one.
    FaultScript* slot = nullptr;
    for (unsigned i = 0; i < kFaultSlots && slot == nullptr; ++i) {
        if (faults[i].remaining > 0 && faults[i].command == request.command)
            slot = &faults[i];
    }
    for (unsigned i = 0; i < kFaultSlots && slot == nullptr; ++i) {
        if (faults[i].remaining == 0)
            slot = &faults[i];
    }
    if (slot == nullptr)
        return CallOutcome::InvalidParameter;
    slot->command = request.command;
    slot->kind = request.kind;
    slot->return_code = request.return_code;
    slot->remaining = request.count;
    return CallOutcome::Completed;
}

CallOutcome FailReceives(AdapterBank& bank, const uint8_t* input, uint32_t input_length, uint32_t output_length)
{
    SimFailReceivesRequest request{};
    if (output_length != 0 || !ReadRequest(input, input_length, &request) || !ValidIndex(request.adapter))
        return CallOutcome::InvalidParameter;
    bank.adapters[request.adapter].failing_receives = request.count;
    return CallOutcome::Completed;
}

CallOutcome SetPlugged(AdapterBank& bank, const uint8_t* input, uint32_t input_length, uint32_t output_length,
                       uint64_t now_us)
{
    SimPlugRequest request{};
    if (output_length != 0 || !ReadRequest(input, input_length, &request) || !ValidIndex(request.adapter))
        return CallOutcome::InvalidParameter;
    Adapter& adapter = bank.adapters[request.adapter];
    if (request.plugged && !adapter.plugged) {
        // A card plugged in comes up as at power-on, on the cable it had.
        ResetPowerOnState(adapter, now_us);
    } else if (!request.plugged && adapter.plugged) {
        adapter.plugged = 0;
        adapter.channel_enabled = 0;
        FlushQueues(adapter);
    }
    return CallOutcome::Completed;
}

CallOutcome SetGenerator(AdapterBank& bank, const uint8_t* input, uint32_t input_length, uint32_t output_length,
                         uint64_t now_us)
{
    SimGeneratorRequest request{};
    if (output_length != 0 || !ReadRequest(input, input_length, &request) || !ValidIndex(request.adapter))
        return CallOutcome::InvalidParameter;
    Generator& generator = bank.adapters[request.adapter].generator;
    if (!request.enabled) {
        generator.enabled = 0;
        return CallOutcome::Completed;
    }
    if (request.length > kMaxFrame || request.rate > kMaxGeneratorRate)
        return CallOutcome::InvalidParameter;
    generator = Generator{};
    generator.enabled = 1;
    generator.length = request.length;
    generator.rate = request.rate;
    generator.remaining = request.count;
    generator.endless = request.count == 0 ? 1 : 0;
    generator.start_us = now_us;
    return CallOutcome::Completed;
}

// Sets the rates and starts their counting and tallies again.
void StartImpairments(Adapter& adapter, const SimImpairmentRates& every)
{
    adapter.impairments = SimImpairments{};
    adapter.impairments.every = every;
    memset(adapter.impairment_countdown, 0, sizeof(adapter.impairment_countdown));
}

CallOutcome SetImpairments(AdapterBank& bank, const uint8_t* input, uint32_t input_length, uint32_t output_length)
{
    SimImpairRequest request{};
    if (output_length != 0 || !ReadRequest(input, input_length, &request) || !ValidIndex(request.adapter))
        return CallOutcome::InvalidParameter;
    StartImpairments(bank.adapters[request.adapter], request.every);
    return CallOutcome::Completed;
}

CallOutcome SetDriverQueue(AdapterBank& bank, const uint8_t* input, uint32_t input_length, uint32_t output_length)
{
    SimDriverQueueRequest request{};
    if (output_length != 0 || !ReadRequest(input, input_length, &request) || !ValidIndex(request.adapter))
        return CallOutcome::InvalidParameter;
    const DriverQueueLimits limits{request.max_frames, request.max_bytes};
    return SetDriverQueueLimits(bank.adapters[request.adapter], limits) ? CallOutcome::Completed
                                                                         : CallOutcome::InvalidParameter;
}

// ---- Counters cleared on one adapter ------------------------------------------

// What ZERO_STATISTICS and ZERO_COMM_ERRORS clear, plus the frames dropped
// and the impairment tallies, which count again from here as when the
// rates were set. Configuration, cable, rates, generator, queues and log stay.
CallOutcome ResetCounters(AdapterBank& bank, const uint8_t* input, uint32_t input_length, uint32_t output_length,
                          uint64_t now_us)
{
    SimAdapterRequest request{};
    if (output_length != 0 || !ReadRequest(input, input_length, &request) || !ValidIndex(request.adapter))
        return CallOutcome::InvalidParameter;
    Adapter& adapter = bank.adapters[request.adapter];
    adapter.statistics = StatisticsReply{};
    adapter.comm_errors = CommErrorsReply{};
    RestartThroughputWindows(adapter, now_us);
    adapter.frames_dropped = 0;
    adapter.driver_queue.peak_frames = adapter.driver_queue.frames;  // the most held counts from now too
    const SimImpairmentRates every = adapter.impairments.every;
    StartImpairments(adapter, every);
    return CallOutcome::Completed;
}

// -------------------------------------------------------------------------------

CallOutcome ReadLog(const AdapterBank& bank, const uint8_t* input, uint32_t input_length, uint8_t* output,
                    uint32_t output_length, uint32_t* written)
{
    SimAdapterRequest request{};
    if (output_length != sizeof(SimLog) || !ReadRequest(input, input_length, &request) || !ValidIndex(request.adapter))
        return CallOutcome::InvalidParameter;
    const Adapter& adapter = bank.adapters[request.adapter];
    const uint32_t count = adapter.log_count <= kLogEntries ? adapter.log_count : kLogEntries;
    const uint32_t oldest = (adapter.log_next + kLogEntries - count) % kLogEntries;
    memcpy(output + offsetof(SimLog, count), &count, sizeof(count));
    uint8_t* entries = output + offsetof(SimLog, entries);
    for (uint32_t i = 0; i < count; ++i)
        memcpy(entries + i * sizeof(SimLogEntry), &adapter.log[(oldest + i) % kLogEntries], sizeof(SimLogEntry));
    memset(entries + count * sizeof(SimLogEntry), 0, (kLogEntries - count) * sizeof(SimLogEntry));
    *written = sizeof(SimLog);
    return CallOutcome::Completed;
}

CallOutcome ResetBank(AdapterBank& bank, uint32_t input_length, uint32_t output_length, uint64_t now_us)
{
    if (input_length != 0 || output_length != 0)
        return CallOutcome::InvalidParameter;
    // Handles and pending receive calls belong to the callers, not to the
    // simulated hardware: they survive the reset.
    AdapterResources resources[kAdapterCount];
    uint32_t open_handles[kAdapterCount];
    uint32_t pending_receives[kAdapterCount];
    for (unsigned i = 0; i < kAdapterCount; ++i) {
        resources[i] = bank.adapters[i].resources;
        open_handles[i] = bank.adapters[i].open_handles;
        pending_receives[i] = bank.adapters[i].pending_receives;
    }
    PowerOn(bank, resources, now_us);
    for (unsigned i = 0; i < kAdapterCount; ++i) {
        bank.adapters[i].open_handles = open_handles[i];
        bank.adapters[i].pending_receives = pending_receives[i];
    }
    return CallOutcome::Completed;
}

}  // namespace
}  // namespace detail

using namespace detail;

CallOutcome SimControl(AdapterBank& bank, uint32_t control_code,
                       const uint8_t* input, uint32_t input_length,
                       uint8_t* output, uint32_t output_length,
                       uint64_t now_us, uint32_t* written)
{
    uint32_t ignored = 0;
    if (written == nullptr)
        written = &ignored;
    *written = 0;
    if (input == nullptr)
        input_length = 0;
    if (output == nullptr)
        output_length = 0;
    Advance(bank, now_us);
    now_us = bank.now_us;

    CallOutcome outcome = CallOutcome::InvalidParameter;
    switch (control_code) {
    case IOCTL_SIM_GET_STATUS:
        outcome = GetStatus(bank, input_length, output, output_length, now_us, written);
        break;
    case IOCTL_SIM_SET_CABLE:
        outcome = SetCable(bank, input, input_length, output_length);
        break;
    case IOCTL_SIM_INJECT_FRAME:
        outcome = InjectFrame(bank, input, input_length, output, output_length, now_us, written);
        break;
    case IOCTL_SIM_SET_MODEM_INPUTS:
        outcome = SetModemInputs(bank, input, input_length, output_length);
        break;
    case IOCTL_SIM_SCRIPT_FAULT:
        outcome = ScriptFault(bank, input, input_length, output_length);
        break;
    case IOCTL_SIM_FAIL_RECEIVES:
        outcome = FailReceives(bank, input, input_length, output_length);
        break;
    case IOCTL_SIM_SET_PLUGGED:
        outcome = SetPlugged(bank, input, input_length, output_length, now_us);
        break;
    case IOCTL_SIM_SET_GENERATOR:
        outcome = SetGenerator(bank, input, input_length, output_length, now_us);
        break;
    case IOCTL_SIM_READ_LOG:
        outcome = ReadLog(bank, input, input_length, output, output_length, written);
        break;
    case IOCTL_SIM_SET_IMPAIRMENTS:
        outcome = SetImpairments(bank, input, input_length, output_length);
        break;
    case IOCTL_SIM_RESET:
        outcome = ResetBank(bank, input_length, output_length, now_us);
        break;
    case IOCTL_SIM_SET_DRIVER_QUEUE:
        outcome = SetDriverQueue(bank, input, input_length, output_length);
        break;
    case IOCTL_SIM_RESET_COUNTERS:
        outcome = ResetCounters(bank, input, input_length, output_length, now_us);
        break;
    default:
        break;
    }
    Settle(bank, now_us);
    return outcome;
}

}  // namespace qz6::sim
