// The simulated R731 adapters: eight adapters, their cables, queues,
// counters and modem lines, and the simulator's scripting.
//
// Plain C++ with no OS header: the kernel layer (driver/kernel) translates
// requests into calls of this interface under one lock and completes them;
// the host build runs the same code under the sanitizers. The model never
// allocates: an AdapterBank is one block, allocated once by its owner and
// brought to its power-on state by PowerOn. Time is passed in by the caller
// as microseconds from an arbitrary origin that never goes backwards.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "common/adapter_names.h"
#include "common/sim_protocol.h"
#include "common/stream_protocol.h"

namespace qz6::sim {

// ---------------------------------------------------------------------------
// Fixed properties of the simulated adapter.

constexpr uint32_t kMaxBaudRate = 2048000;
constexpr uint32_t kAdapterFrequency = 14745600;  // the adapter's clock, reported in READ_CONFIGURATION
constexpr char kCodeVersion[] = "2.14";           // READ_CODE_VERSION text
constexpr unsigned kBufferPool = 32;              // frame buffers per adapter, split by percent_tx_buffers
constexpr uint32_t kMaxFrame = kMaxReceivedFrame; // largest frame a buffer holds (13984)
constexpr uint32_t kWireOverheadBytes = 4;        // two flags and two CRC bytes on the wire
constexpr unsigned kFaultSlots = 4;               // scripted faults per adapter (distinct commands)
constexpr uint64_t kThroughputWindowUs = 1000000; // throughput is measured over windows of at least 1 s
// Highest frame rate of a throttled generator, so that its frames are at
// least 10 microseconds apart; IOCTL_SIM_SET_GENERATOR refuses a higher one.
constexpr uint32_t kMaxGeneratorRate = 100000;

// Microseconds a frame of `length` data bytes occupies the line at `baud_rate`.
constexpr uint64_t WireTimeUs(uint32_t length, uint32_t baud_rate)
{
    return baud_rate == 0 ? 0 : (static_cast<uint64_t>(length + kWireOverheadBytes) * 8u * 1000000u + baud_rate - 1) / baud_rate;
}

// Resources read from the registry when the driver starts. An adapter with
// a nonzero interrupt_number is present (has a device).
struct AdapterResources {
    uint32_t io_base;
    uint32_t shared_memory;
    uint32_t interrupt_number;
};

// ---------------------------------------------------------------------------
// State. Plain data throughout; PowerOn sets every member.

struct FrameBuffer {
    uint16_t length;
    uint8_t bits;
    uint8_t bad_crc;        // arrived with a bad CRC (transmit side: sent with one)
    uint32_t timestamp_ms;
    uint8_t data[kMaxFrame];
};

// A FIFO of buffer indices into the adapter's pool.
struct BufferQueue {
    uint8_t slots[kBufferPool];
    uint8_t head;
    uint8_t count;
    uint8_t capacity;  // transmit_buffers or receive_buffers of the configuration
};

// The driver's receive queue of one adapter (see SimDriverQueueRequest): a
// ring of records in the adapter's driver_queue_storage, each a header of
// kDriverQueueFrameOverhead bytes (length, frame bits, timestamp) and the
// frame's bytes, wrapping at the storage's end.
struct DriverQueueLimits {
    uint32_t max_frames;
    uint32_t max_bytes;
};

struct DriverQueue {
    uint32_t head;         // offset of the oldest record
    uint32_t used;         // storage bytes the records take
    uint32_t frames;
    uint32_t bytes;        // the frames' own bytes
    uint32_t peak_frames;
};

struct FaultScript {
    uint8_t command;      // a command code or kAnyCommand
    uint8_t kind;         // SimFaultKind
    uint8_t return_code;
    uint32_t remaining;   // 0: slot unused
};

struct ThroughputWindow {
    uint64_t start_us;
    uint64_t bytes;
    uint32_t throughput;  // bytes a second over the last complete window
    uint32_t window_ms;   // that window's length
};

struct Generator {
    uint8_t enabled;
    uint16_t length;
    uint32_t rate;        // 0: as fast as the receiver takes them
    uint32_t remaining;   // 0 with `endless`: no limit
    uint8_t endless;
    uint32_t generated;   // frames produced since the generator was set
    uint64_t start_us;    // for a throttled generator: frame k is due at start_us + (k - schedule_base) * 1e6 / rate
    uint32_t schedule_base;  // `generated` when start_us was set (the schedule restarts after a skipped backlog)
};

// Frame buffers of one adapter: the pool that percent_tx_buffers splits,
// plus one spare, which holds a frame while the line hands it from the
// adapter's own transmitter to its own receiver (loopback), so that the
// receive side and the bridge never find the pool empty while their queues
// have room.
constexpr unsigned kPoolBuffers = kBufferPool + 1;

struct Adapter {
    // Fixed at driver start.
    uint8_t present;
    AdapterResources resources;

    // Kept when an adapter is unplugged and plugged in again.
    uint8_t cable;           // SimCableKind
    uint8_t peer;
    SimImpairments impairments;  // of the line into this adapter
    uint32_t impairment_countdown[4];  // frames each impairment lets pass before its next hit, in rate order
    DriverQueueLimits driver_queue_limits;
    uint32_t open_handles;
    uint32_t pending_receives;  // kept by the kernel layer through NotePendingReceives
    SimLogEntry log[kLogEntries];
    uint32_t log_next;
    uint32_t log_count;

    // Power-on state, from `plugged` up to `pool`: cleared as one block by
    // a power-on, a reset and a replug.
    uint8_t plugged;
    uint8_t configured;
    StreamingConfiguration configuration;  // read form; meaningful once configured
    uint8_t channel_enabled;
    uint8_t bridge;
    uint8_t pass_bad_crc;
    uint8_t dtr;
    uint8_t rts;

    // Modem inputs: from the cable, or set by hand.
    uint8_t manual_inputs;
    uint8_t manual_dcd;
    uint8_t manual_cts;
    uint8_t dcd;             // as last evaluated
    uint8_t cts;
    uint8_t modem_changed;   // latched for interrupt_pending until READ_DCD_CTS

    // Buffers.
    uint8_t free_slots[kPoolBuffers];
    uint8_t free_count;
    BufferQueue rx;
    BufferQueue tx;
    DriverQueue driver_queue;  // in front of rx
    uint64_t tx_busy_until_us;  // while tx holds frames, its head is on the wire until then

    // Counters.
    StatisticsReply statistics;
    CommErrorsReply comm_errors;
    ThroughputWindow tx_window;
    ThroughputWindow rx_window;
    uint32_t frames_dropped;

    // Scripting.
    FaultScript faults[kFaultSlots];
    uint32_t failing_receives;
    Generator generator;

    // Last: frame contents are only read after being written, so resets
    // leave them alone.
    FrameBuffer pool[kPoolBuffers];
    uint8_t driver_queue_storage[kDriverQueueStorage];  // the driver's, in host memory
};

struct AdapterBank {
    Adapter adapters[kAdapterCount];
    uint64_t power_on_us;
    uint64_t now_us;       // latest time seen; an earlier time passed in counts as this one
    uint32_t log_sequence;
};

// ---------------------------------------------------------------------------
// Outcomes of a call, which the kernel layer turns into a completion status.

enum class CallOutcome : uint8_t {
    Completed,         // success; `written` bytes were written to the output
    InvalidParameter,  // failed the length rules; nothing written
    Failed,            // the call fails (scripted, or the adapter is unplugged); nothing written
    Pending,           // a receive call that has to wait for a frame
};

// Power-on: every adapter present as `resources` say, plugged in, with a
// loopback plug, unconfigured, channel disabled, counters, queues, scripts
// and logs empty.
void PowerOn(AdapterBank& bank, const AdapterResources (&resources)[kAdapterCount], uint64_t now_us);

// IOCTL_STREAM_COMMAND and IOCTL_STREAM_SEND on adapter `index`. `input`
// and `output` may be the same buffer. Checks the length rules (input at
// least 16 bytes and exactly 16 + data_length, at most 528; output exactly
// 528), applies scripted faults, runs the command and writes the whole block
// back (`written` = 528). Every call is logged.
CallOutcome StreamCommand(AdapterBank& bank, unsigned index, uint32_t control_code,
                          const uint8_t* input, uint32_t input_length,
                          uint8_t* output, uint32_t output_length,
                          uint64_t now_us, uint32_t* written);

// IOCTL_STREAM_RECEIVE on adapter `index`, into `record` of `record_size`
// bytes. `first_attempt` is true when the call arrives (it is then logged,
// checked and may fail by script) and false when a pended call is retried.
// Completed: a record was written (`written` bytes, never past record_size)
// with status RECEIVE_FRAME_PRESENT, or with another status when the channel
// is disabled or the adapter unplugged. Pending: no frame yet.
CallOutcome Receive(AdapterBank& bank, unsigned index, uint8_t* record, uint32_t record_size,
                    bool first_attempt, uint64_t now_us, uint32_t* written);

// Handles: counted and logged (LOG_HANDLE_OPENED / LOG_HANDLE_CLOSED).
void HandleOpened(AdapterBank& bank, unsigned index, uint64_t now_us);
void HandleClosed(AdapterBank& bank, unsigned index, uint64_t now_us);
void NotePendingReceives(AdapterBank& bank, unsigned index, uint32_t pending);

// Moves the line up to `now_us`: finishes transmissions, delivers frames
// over the cables, runs throttled generators, re-evaluates modem inputs.
void Advance(AdapterBank& bank, uint64_t now_us);

// The next time at which Advance has something to do, or UINT64_MAX.
uint64_t NextEventUs(const AdapterBank& bank, uint64_t now_us);

// A request on the simulator's control device (IOCTL_SIM_*). `input` and
// `output` may be the same buffer.
CallOutcome SimControl(AdapterBank& bank, uint32_t control_code,
                       const uint8_t* input, uint32_t input_length,
                       uint8_t* output, uint32_t output_length,
                       uint64_t now_us, uint32_t* written);

// True when adapter `index` is present and plugged, i.e. its device name
// should be visible to CreateFile.
bool DeviceVisible(const AdapterBank& bank, unsigned index);

// HDLC frame check sequence (CRC-16/X.25) over `length` bytes.
uint16_t FrameCheckSequence(const uint8_t* data, uint32_t length);

}  // namespace qz6::sim
