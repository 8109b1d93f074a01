// The simulator's control device, \\.\Zurezi6Sim: private control codes and
// their layouts, used by qz6sim.exe and the tests to look at the simulated
// adapters and to script the line. Not part of the adapter contract.
//
// Every code is METHOD_BUFFERED. A request whose input or output length does
// not match its layout fails with STATUS_INVALID_PARAMETER.
#pragma once

#include "common/adapter_names.h"
#include "common/stream_protocol.h"

namespace qz6 {

constexpr uint32_t SimControlCode(uint32_t function) { return MakeControlCode(kDeviceTypeUnknown, 0x800 + function, kMethodBuffered); }

constexpr uint32_t IOCTL_SIM_GET_STATUS = SimControlCode(0);      // in: none; out: SimStatus
constexpr uint32_t IOCTL_SIM_SET_CABLE = SimControlCode(1);       // in: SimCableRequest
constexpr uint32_t IOCTL_SIM_INJECT_FRAME = SimControlCode(2);    // in: SimInjectHeader + data; out: SimInjectResult
constexpr uint32_t IOCTL_SIM_SET_MODEM_INPUTS = SimControlCode(3); // in: SimModemInputsRequest
constexpr uint32_t IOCTL_SIM_SCRIPT_FAULT = SimControlCode(4);    // in: SimFaultRequest
constexpr uint32_t IOCTL_SIM_FAIL_RECEIVES = SimControlCode(5);   // in: SimFailReceivesRequest
constexpr uint32_t IOCTL_SIM_SET_PLUGGED = SimControlCode(6);     // in: SimPlugRequest
constexpr uint32_t IOCTL_SIM_SET_GENERATOR = SimControlCode(7);   // in: SimGeneratorRequest
constexpr uint32_t IOCTL_SIM_READ_LOG = SimControlCode(8);        // in: SimAdapterRequest; out: SimLog
constexpr uint32_t IOCTL_SIM_RESET = SimControlCode(9);           // in: none
constexpr uint32_t IOCTL_SIM_SET_IMPAIRMENTS = SimControlCode(10); // in: SimImpairRequest

// The driver's receive queue.
constexpr uint32_t IOCTL_SIM_SET_DRIVER_QUEUE = SimControlCode(16); // in: SimDriverQueueRequest

// Clears one adapter's counters (statistics, communication errors,
// frames dropped) and its impairment tallies, whose counting starts again
// as when the impairments were set; its configuration, cable, impairment
// rates, generator, queues and log stay. in: SimAdapterRequest
constexpr uint32_t IOCTL_SIM_RESET_COUNTERS = SimControlCode(17);

#pragma pack(push, 1)

struct SimAdapterRequest {
    uint8_t adapter;
};

enum SimCableKind : uint8_t {
    CABLE_NONE = 0,
    CABLE_LOOPBACK = 1,    // own transmit to own receive, DTR to DCD, RTS to CTS
    CABLE_NULL_MODEM = 2,  // to `peer`: transmit to its receive, DTR to its DCD, RTS to its CTS
};

struct SimCableRequest {
    uint8_t adapter;
    uint8_t kind;  // SimCableKind
    uint8_t peer;  // for CABLE_NULL_MODEM
};

constexpr uint8_t INJECT_BAD_CRC = 0x01;  // the frame arrives with a bad CRC
constexpr uint8_t INJECT_ABORT = 0x02;    // the frame ends in an abort sequence

struct SimInjectHeader {
    uint8_t adapter;
    uint8_t frame_bits;  // ORed into the bits the adapter sets itself
    uint8_t flags;       // INJECT_*
    uint8_t reserved;
    uint16_t length;     // number of data bytes following this header
};
static_assert(sizeof(SimInjectHeader) == 6);
constexpr uint32_t kSimInjectMaxSize = sizeof(SimInjectHeader) + kMaxReceivedFrame;

enum SimInjectOutcome : uint8_t {
    INJECT_QUEUED = 0,
    INJECT_DROPPED_DISABLED = 1,   // receiver off: communications disabled
    INJECT_DROPPED_QUEUE_FULL = 2, // counted in rx_disabled_bfrs_full
    INJECT_DROPPED_TOO_LONG = 3,   // counted in rx_discards_too_long
    INJECT_DROPPED_BAD_CRC = 4,    // counted in rx_crc_errors
    INJECT_DROPPED_ABORT = 5,      // counted in rx_aborts
    INJECT_DROPPED_UNPLUGGED = 6,
    INJECT_DROPPED_NOT_CONFIGURED = 7,
    INJECT_DROPPED_ON_LINE = 8,    // lost on the way by the line's impairments (counted in their `lost`)
};
constexpr unsigned kInjectOutcomeCount = INJECT_DROPPED_ON_LINE + 1;

struct SimInjectResult {
    uint8_t outcome;  // SimInjectOutcome
};

struct SimModemInputsRequest {
    uint8_t adapter;
    uint8_t manual;  // 0: inputs follow the cable; 1: dcd and cts below
    uint8_t dcd;
    uint8_t cts;
};

enum SimFaultKind : uint8_t {
    FAULT_RETURN_CODE = 0,  // the command answers with `return_code`
    FAULT_NO_ANSWER = 1,    // the block comes back with return_code untouched
    FAULT_FAIL_CALL = 2,    // the device control call itself fails
};
constexpr uint8_t kAnyCommand = 0xFF;

struct SimFaultRequest {
    uint8_t adapter;
    uint8_t command;  // a command code, or kAnyCommand
    uint8_t kind;     // SimFaultKind
    uint8_t return_code;
    uint32_t count;   // the next `count` matching calls; 0 clears the script
};
static_assert(sizeof(SimFaultRequest) == 8);

struct SimFailReceivesRequest {
    uint8_t adapter;
    uint32_t count;  // the next `count` receive calls fail
};

struct SimPlugRequest {
    uint8_t adapter;
    uint8_t plugged;
};

struct SimGeneratorRequest {
    uint8_t adapter;
    uint8_t enabled;
    uint16_t length;  // data bytes per frame
    uint32_t rate;    // frames a second; 0: as fast as the receiver takes them
    uint32_t count;   // frames to generate; 0: until switched off
};
static_assert(sizeof(SimGeneratorRequest) == 12);

// Impairments of the line into an adapter: they act on every frame that
// arrives at it, whatever sent it (its own loopback transmit, a null-modem
// peer, an injected, generated or replayed frame). Each impairment counts the
// frames that reach it, in this order: every Nth is lost (never seen), then
// every Nth of those left arrives with one data byte changed and a valid CRC,
// then every Nth of those left arrives with a bad CRC (as INJECT_BAD_CRC),
// then every Nth of those left ends in an abort (as INJECT_ABORT); so one
// frame meets at most one of them. 0: never. A zero-length frame has no byte
// to change: it is counted by the change but passes on untouched. The counts
// start at the request that sets the rates.
struct SimImpairmentRates {
    uint32_t drop_every;
    uint32_t corrupt_every;
    uint32_t crc_error_every;
    uint32_t abort_every;
};
static_assert(sizeof(SimImpairmentRates) == 16);
static_assert(offsetof(SimImpairmentRates, corrupt_every) == 4);
static_assert(offsetof(SimImpairmentRates, crc_error_every) == 8);
static_assert(offsetof(SimImpairmentRates, abort_every) == 12);

struct SimImpairRequest {
    uint8_t adapter;
    uint8_t reserved[3];
    SimImpairmentRates every;  // all 0: off
};
static_assert(sizeof(SimImpairRequest) == 20);
static_assert(offsetof(SimImpairRequest, every) == 4);

// The rates as set and what they did since: each tally counts the frames
// that its impairment lost, or changed and the receiver then took (queued,
// or for a bad CRC also dropped as one; an abort: dropped as one); a frame
// that the receiver dropped for another reason (disabled, too long, no
// buffer) counts in none. All saturate at 0xFFFFFFFF.
struct SimImpairments {
    SimImpairmentRates every;
    uint32_t arrivals;  // frames that arrived at the impaired line
    uint32_t lost;
    uint32_t corrupted;
    uint32_t crc_errors;
    uint32_t aborted;
};
static_assert(sizeof(SimImpairments) == 36);
static_assert(offsetof(SimImpairments, arrivals) == 16);
static_assert(offsetof(SimImpairments, aborted) == 32);

struct SimAdapterStatus {
    uint8_t present;          // has a device (nonzero InterruptNumber at driver start)
    uint8_t plugged;
    uint8_t configured;       // a SET_CONFIGURATION was accepted since power-on
    uint8_t channel_enabled;
    uint32_t io_base;
    uint32_t shared_memory;
    uint32_t interrupt_number;
    StreamingConfiguration configuration;
    uint8_t bridge;
    uint8_t pass_bad_crc;
    uint8_t dtr;
    uint8_t rts;
    uint8_t dcd;
    uint8_t cts;
    uint8_t manual_inputs;
    uint8_t cable;            // SimCableKind
    uint8_t peer;
    uint16_t rx_queued;       // frames waiting for a receiver: the driver's queue and the adapter's buffers (saturates)
    uint16_t tx_queued;
    uint32_t frames_dropped;  // receive queue full, any cause of loss on the receive side
    uint32_t open_handles;
    uint32_t pending_receives;
    uint8_t generator_enabled;
    uint16_t generator_length;
    uint32_t generator_rate;
    uint32_t generator_remaining;
    uint32_t generator_count;  // frames generated since the generator was set
    StatisticsReply statistics;
    CommErrorsReply comm_errors;
    SimImpairments impairments;

    // The driver's receive queue (see SimDriverQueueRequest).
    uint32_t driver_queue_max_frames;
    uint32_t driver_queue_max_bytes;
    uint32_t driver_queue_frames;       // frames waiting in it
    uint32_t driver_queue_bytes;        // their bytes
    uint32_t driver_queue_peak_frames;  // the most it held since its limits were set, a counter reset, the power-on or a replug
    uint16_t adapter_rx_queued;         // frames waiting in the adapter's own receive buffers
};

struct SimStatus {
    uint32_t uptime_ms;
    char version[16];
    SimAdapterStatus adapters[kAdapterCount];
};

// The driver's receive queue, in host memory, in front of each adapter's
// receive buffers: the driver takes every frame out of the adapter's buffers
// as it arrives, while the queue has room, so that a receiver that pauses
// for less than the queue lasts loses nothing. Receivers get the queue's
// frames first, then the adapter's; the adapter drops a frame (counting it
// in rx_disabled_bfrs_full) only when both are full. Frames are counted
// with the bytes they are received with (CRC bytes included); each also
// takes kDriverQueueFrameOverhead bytes of the queue's storage, so that
// max_frames * kDriverQueueFrameOverhead + max_bytes may not exceed
// kDriverQueueStorage. Disabling communications, a new configuration, an
// unplug and a reset empty it, as they empty the adapter's buffers.
// Lowered limits keep what the queue holds.
constexpr uint32_t kDriverQueueStorage = 512u * 1024u;  // bytes of host memory per adapter
constexpr uint32_t kDriverQueueFrameOverhead = 8;
constexpr uint32_t kDriverQueueMaxFrames = kDriverQueueStorage / kDriverQueueFrameOverhead;
// A second of 64-byte frames at 2 048 000 bit/s is 3765 frames; a second
// of that line carries 256 000 bytes, whatever the frames' length.
constexpr uint32_t kDriverQueueDefaultFrames = 4096;
constexpr uint32_t kDriverQueueDefaultBytes = 256u * 1024u;
static_assert(kDriverQueueDefaultFrames * kDriverQueueFrameOverhead + kDriverQueueDefaultBytes <= kDriverQueueStorage);

struct SimDriverQueueRequest {
    uint8_t adapter;
    uint8_t reserved[3];
    uint32_t max_frames;  // 0: no queue, the adapter's buffers alone
    uint32_t max_bytes;
};
static_assert(sizeof(SimDriverQueueRequest) == 12);
static_assert(offsetof(SimDriverQueueRequest, max_frames) == 4);
static_assert(offsetof(SimDriverQueueRequest, max_bytes) == 8);

// One entry of an adapter's request log. Opens and handle closes are logged
// too, with the pseudo control codes below, so that tests can tell the order
// of commands and closes.
constexpr uint32_t LOG_HANDLE_OPENED = 1;
constexpr uint32_t LOG_HANDLE_CLOSED = 2;
constexpr unsigned kLogDataBytes = 8;
constexpr unsigned kLogEntries = 256;

struct SimLogEntry {
    uint32_t sequence;      // counts every logged request of the driver, all adapters
    uint32_t time_ms;
    uint32_t control_code;  // an IOCTL_STREAM_* code or LOG_HANDLE_*
    uint32_t input_length;
    uint32_t output_length;
    uint8_t command;
    uint8_t return_code;    // as written back (NO_RESPONSE_CODE if untouched)
    uint16_t data_length;
    uint8_t outcome;        // SimLogOutcome
    uint8_t data[kLogDataBytes];
};

enum SimLogOutcome : uint8_t {
    LOG_COMPLETED = 0,
    LOG_INVALID_PARAMETER = 1,  // failed the length rules
    LOG_FAILED = 2,             // failed by a scripted fault or an unplugged adapter
    LOG_PENDED = 3,             // a receive call that had to wait
};

struct SimLog {
    uint32_t count;  // valid entries, oldest first
    SimLogEntry entries[kLogEntries];
};

#pragma pack(pop)

}  // namespace qz6
