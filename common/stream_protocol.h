// The wire between the programs and the adapter driver: control codes,
// command codes, return codes and every request and reply layout.
//
// Included by the monitor, the simulated driver (built freestanding), the
// simulator tool and the tests, so it uses nothing that needs a runtime:
// the freestanding headers and <span>, which is all inline. All numbers on
// the wire are little-endian; every layout carries static_asserts on its
// size and offsets.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <span>

namespace qz6 {

// ---------------------------------------------------------------------------
// Device control codes (device type FILE_DEVICE_UNKNOWN, any access).

constexpr uint32_t kDeviceTypeUnknown = 0x22;
constexpr uint32_t kMethodBuffered = 0;
constexpr uint32_t kMethodInDirect = 1;
constexpr uint32_t kMethodOutDirect = 2;

constexpr uint32_t MakeControlCode(uint32_t device_type, uint32_t function, uint32_t method)
{
    return (device_type << 16) | (0u << 14) | (function << 2) | method;
}

constexpr uint32_t IOCTL_STREAM_COMMAND = MakeControlCode(kDeviceTypeUnknown, 0x00A, kMethodBuffered);
constexpr uint32_t IOCTL_STREAM_SEND = MakeControlCode(kDeviceTypeUnknown, 0x00B, kMethodOutDirect);
constexpr uint32_t IOCTL_STREAM_RECEIVE = MakeControlCode(kDeviceTypeUnknown, 0x00C, kMethodInDirect);
static_assert(IOCTL_STREAM_COMMAND == 0x00220028);
static_assert(IOCTL_STREAM_SEND == 0x0022002E);
static_assert(IOCTL_STREAM_RECEIVE == 0x00220031);

// ---------------------------------------------------------------------------
// Command set. Codes without an enumerator are never issued by the programs.

enum CommandCode : uint8_t {
    READ_STATUS = 0x00,
    SEND_I_FRAME = 0x01,
    ENABLE_COMMS = 0x03,
    DISABLE_COMMS = 0x04,
    SET_CONFIGURATION = 0x05,
    READ_CONFIGURATION = 0x06,
    READ_STATISTICS = 0x07,
    ZERO_STATISTICS = 0x08,
    READ_COMM_ERRORS = 0x09,
    ZERO_COMM_ERRORS = 0x0A,
    SET_DTR_RTS = 0x0B,
    READ_DCD_CTS = 0x0C,
    FLUSH_BFRS = 0x0D,
    READ_CODE_VERSION = 0x10,
    BRIDGE_RX_TX = 0x11,
    SET_INT_TRIGS = 0x20,
    READ_INT_TRIGS = 0x21,
    CRC_CONTROL = 0x22,
};
constexpr uint8_t kHighestCommandCode = 0x22;
constexpr unsigned kCommandCount = kHighestCommandCode + 1;  // 35 codes

// ---------------------------------------------------------------------------
// Return codes. 0 is success; the programs preset NO_RESPONSE_CODE before
// every call, so a driver that never answers leaves it standing.

constexpr uint8_t RETURN_SUCCESS = 0x00;
constexpr uint8_t TIMEOUT_CODE = 0x7F;
constexpr uint8_t NO_RESPONSE_CODE = 0xAA;

// The adapter's own failure codes (never 0x7F or 0xAA).
constexpr uint8_t RETURN_NOT_CONFIGURED = 0x01;    // no configuration set since power-on
constexpr uint8_t RETURN_INVALID_PARAMETER = 0x02; // bad data_length or values the adapter cannot run
constexpr uint8_t RETURN_CHANNEL_DISABLED = 0x03;  // send while communications are disabled
constexpr uint8_t RETURN_NO_TX_BUFFER = 0x04;      // every transmit buffer is in use
constexpr uint8_t RETURN_UNKNOWN_COMMAND = 0x05;   // a code the adapter does not implement

// ---------------------------------------------------------------------------
// CommandBlock: the one request/reply record of IOCTL_STREAM_COMMAND and
// IOCTL_STREAM_SEND.

constexpr uint32_t kCommandHeaderSize = 16;
constexpr uint32_t kCommandDataSize = 512;
constexpr uint32_t kCommandBlockSize = kCommandHeaderSize + kCommandDataSize;

struct CommandBlock {
    uint8_t reserved0;
    uint8_t command;
    uint16_t data_length;
    uint8_t return_code;
    uint8_t reserved5[11];
    uint8_t data[kCommandDataSize];
};
static_assert(sizeof(CommandBlock) == 528);
static_assert(offsetof(CommandBlock, command) == 1);
static_assert(offsetof(CommandBlock, data_length) == 2);
static_assert(offsetof(CommandBlock, return_code) == 4);
static_assert(offsetof(CommandBlock, reserved5) == 5);
static_assert(offsetof(CommandBlock, data) == 16);

// ---------------------------------------------------------------------------
// Replies and payloads carried in CommandBlock::data. Packed: several numbers
// sit at odd offsets.

#pragma pack(push, 1)

// READ_CONFIGURATION reply (22 bytes) and SET_CONFIGURATION request (first 18).
struct StreamingConfiguration {
    uint32_t baud_rate;
    uint16_t max_frame_size;
    uint16_t percent_tx_buffers;
    uint16_t operational_bits;
    uint16_t modem_bits;
    uint16_t statistics_bits;
    uint32_t adapter_frequency;
    uint16_t transmit_buffers;
    uint16_t receive_buffers;
};
static_assert(sizeof(StreamingConfiguration) == 22);
static_assert(offsetof(StreamingConfiguration, max_frame_size) == 4);
static_assert(offsetof(StreamingConfiguration, percent_tx_buffers) == 6);
static_assert(offsetof(StreamingConfiguration, operational_bits) == 8);
static_assert(offsetof(StreamingConfiguration, modem_bits) == 10);
static_assert(offsetof(StreamingConfiguration, statistics_bits) == 12);
static_assert(offsetof(StreamingConfiguration, adapter_frequency) == 14);
static_assert(offsetof(StreamingConfiguration, transmit_buffers) == 18);
static_assert(offsetof(StreamingConfiguration, receive_buffers) == 20);
constexpr uint16_t kConfigurationReadSize = 22;
constexpr uint16_t kConfigurationSetSize = 18;

// SET_CONFIGURATION request: the set form, the first 18 bytes of
// StreamingConfiguration. The adapter works out the frequency and the
// buffer counts itself.
struct ConfigurationToSend {
    uint32_t baud_rate;
    uint16_t max_frame_size;
    uint16_t percent_tx_buffers;
    uint16_t operational_bits;
    uint16_t modem_bits;
    uint16_t statistics_bits;
    uint32_t adapter_frequency;  // always zero on the wire
};
static_assert(sizeof(ConfigurationToSend) == kConfigurationSetSize);
static_assert(offsetof(ConfigurationToSend, max_frame_size) == offsetof(StreamingConfiguration, max_frame_size));
static_assert(offsetof(ConfigurationToSend, percent_tx_buffers) == offsetof(StreamingConfiguration, percent_tx_buffers));
static_assert(offsetof(ConfigurationToSend, operational_bits) == offsetof(StreamingConfiguration, operational_bits));
static_assert(offsetof(ConfigurationToSend, modem_bits) == offsetof(StreamingConfiguration, modem_bits));
static_assert(offsetof(ConfigurationToSend, statistics_bits) == offsetof(StreamingConfiguration, statistics_bits));
static_assert(offsetof(ConfigurationToSend, adapter_frequency) == offsetof(StreamingConfiguration, adapter_frequency));

// operational_bits
constexpr uint16_t OPERATIONAL_PASS_CRC_BYTES = 0x0001;
constexpr uint16_t OPERATIONAL_RS232 = 0x0002;  // clear: RS-485
// modem_bits
constexpr uint16_t MODEM_MANUAL_DTR_RTS = 0x0001;
constexpr uint16_t MODEM_IGNORE_CHANGES = 0x0002;
constexpr uint16_t MODEM_REPORT_DCD_ONLY = 0x0004;
constexpr uint16_t MODEM_NO_CHANGE_INTERRUPTS = 0x0008;
// statistics_bits
constexpr uint16_t STATISTICS_COUNT_TX = 0x0001;
constexpr uint16_t STATISTICS_COUNT_RX = 0x0002;
constexpr uint16_t STATISTICS_TX_THROUGHPUT = 0x0004;
constexpr uint16_t STATISTICS_RX_THROUGHPUT = 0x0008;
constexpr uint16_t STATISTICS_TIMESTAMP_RX = 0x0010;
constexpr uint16_t STATISTICS_TIMESTAMP_TX = 0x0020;

// READ_STATUS reply.
struct StatusReply {
    uint8_t channel_status;      // 0 disabled, otherwise enabled
    uint16_t rx_frames_queued;
    uint16_t tx_frames_queued;   // not interpreted by the monitor
    uint8_t interrupt_pending;
};
static_assert(sizeof(StatusReply) == 6);
static_assert(offsetof(StatusReply, rx_frames_queued) == 1);
static_assert(offsetof(StatusReply, tx_frames_queued) == 3);
static_assert(offsetof(StatusReply, interrupt_pending) == 5);

// interrupt_pending bits as the simulated adapter reports them
constexpr uint8_t INTERRUPT_RX_FRAME = 0x01;     // a received frame is queued
constexpr uint8_t INTERRUPT_TX_READY = 0x02;     // a transmit buffer is free
constexpr uint8_t INTERRUPT_MODEM_CHANGE = 0x04; // DCD or CTS changed since the last READ_DCD_CTS

// READ_DCD_CTS reply.
struct ModemLinesReply {
    uint8_t modem_lines;
};
static_assert(sizeof(ModemLinesReply) == 1);
constexpr uint8_t MODEM_LINE_DCD = 0x08;
constexpr uint8_t MODEM_LINE_CTS = 0x20;

// SET_DTR_RTS request byte.
constexpr uint8_t DTR_HIGH = 0x01;
constexpr uint8_t RTS_HIGH = 0x02;

// READ_STATISTICS reply.
struct StatisticsReply {
    uint16_t rx_discards_too_long;
    uint8_t unused2[4];
    uint32_t tx_frames;
    uint32_t tx_bytes;
    uint32_t rx_frames;
    uint32_t rx_bytes;
    uint32_t tx_throughput;     // bytes a second over the last window
    uint32_t tx_throughput_ms;  // length of that window
    uint32_t rx_throughput;
    uint32_t rx_throughput_ms;
    uint32_t bridge_tx_discards;
};
static_assert(sizeof(StatisticsReply) == 42);
static_assert(offsetof(StatisticsReply, tx_frames) == 6);
static_assert(offsetof(StatisticsReply, tx_bytes) == 10);
static_assert(offsetof(StatisticsReply, rx_frames) == 14);
static_assert(offsetof(StatisticsReply, rx_bytes) == 18);
static_assert(offsetof(StatisticsReply, tx_throughput) == 22);
static_assert(offsetof(StatisticsReply, tx_throughput_ms) == 26);
static_assert(offsetof(StatisticsReply, rx_throughput) == 30);
static_assert(offsetof(StatisticsReply, rx_throughput_ms) == 34);
static_assert(offsetof(StatisticsReply, bridge_tx_discards) == 38);

// READ_COMM_ERRORS reply: ten 8-bit counters, saturating at 255.
struct CommErrorsReply {
    uint8_t rx_overruns;
    uint8_t rx_crc_errors;
    uint8_t rx_aborts;
    uint8_t rx_disabled_bfrs_full;
    uint8_t unused4;
    uint8_t tx_aborts;
    uint8_t unused6;
    uint8_t unused7;
    uint8_t dcd_drops;
    uint8_t cts_drops;
};
static_assert(sizeof(CommErrorsReply) == 10);
static_assert(offsetof(CommErrorsReply, tx_aborts) == 5);
static_assert(offsetof(CommErrorsReply, dcd_drops) == 8);
static_assert(offsetof(CommErrorsReply, cts_drops) == 9);

// ---------------------------------------------------------------------------
// ReceiveRecord: the output of one IOCTL_STREAM_RECEIVE call.

constexpr uint32_t kReceiveRecordSize = 14000;
constexpr uint32_t kReceiveHeaderSize = 16;
constexpr uint32_t kMaxReceivedFrame = kReceiveRecordSize - kReceiveHeaderSize;  // 13984

struct ReceiveRecord {
    uint8_t status;
    uint16_t frame_length;
    uint8_t frame_bits;
    uint32_t timestamp_ms;   // with STATISTICS_TIMESTAMP_RX, else 0
    uint8_t reserved8[8];
    uint8_t frame_data[kMaxReceivedFrame];
};
static_assert(sizeof(ReceiveRecord) == 14000);
static_assert(offsetof(ReceiveRecord, frame_length) == 1);
static_assert(offsetof(ReceiveRecord, frame_bits) == 3);
static_assert(offsetof(ReceiveRecord, timestamp_ms) == 4);
static_assert(offsetof(ReceiveRecord, frame_data) == 16);

#pragma pack(pop)

// ReceiveRecord::status
constexpr uint8_t RECEIVE_FRAME_PRESENT = 1;
constexpr uint8_t RECEIVE_CHANNEL_DISABLED = 2;  // communications disabled (or never enabled)
constexpr uint8_t RECEIVE_DEVICE_REMOVED = 3;    // the adapter was unplugged
constexpr uint8_t RECEIVE_CALL_FAILED = 125;     // set by the caller when the call itself failed

// ReceiveRecord::frame_bits as the simulated adapter sets them
constexpr uint8_t FRAME_BITS_CRC_ERROR = 0x02;     // bad CRC, passed because CRC_CONTROL is on
constexpr uint8_t FRAME_BITS_CRC_INCLUDED = 0x04;  // the two CRC bytes end frame_data
constexpr uint8_t FRAME_BITS_TIMESTAMPED = 0x08;   // timestamp_ms is valid
constexpr uint8_t FRAME_BITS_BRIDGED = 0x10;       // also retransmitted by the bridge

// The bytes of the frame itself: what the record holds (never past its
// end, whatever frame_length says), but for the two CRC bytes the adapter
// appends when FRAME_BITS_CRC_INCLUDED says so.
constexpr std::span<const uint8_t> ArrivedFrameBytes(const ReceiveRecord& record)
{
    size_t length = record.frame_length < kMaxReceivedFrame ? record.frame_length : kMaxReceivedFrame;
    if ((record.frame_bits & FRAME_BITS_CRC_INCLUDED) != 0 && length >= 2)
        length -= 2;
    return {record.frame_data, length};
}

}  // namespace qz6
