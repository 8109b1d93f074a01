// The adapter's side of IOCTL_STREAM_COMMAND, IOCTL_STREAM_SEND and
// IOCTL_STREAM_RECEIVE: length rules, scripted faults, the command set and
// the receive record.
#include <string.h>

#include "driver/model/adapter_model.h"
#include "driver/model/model_internal.h"

namespace qz6::sim {
namespace detail {
namespace {

// A command's reply: the return code and the number of reply bytes it put
// into the block's data.
struct Reply {
    uint8_t return_code;
    uint16_t data_length;
};

constexpr Reply Answer(uint8_t return_code, uint16_t data_length = 0) { return Reply{return_code, data_length}; }

template <typename T>
Reply AnswerWith(uint8_t* data, const T& value)
{
    static_assert(sizeof(T) <= kCommandDataSize);
    memcpy(data, &value, sizeof(T));
    return Answer(RETURN_SUCCESS, sizeof(T));
}

// The split of the buffer pool that `percent` asks for; false when it leaves
// a direction without buffers.
bool SplitBuffers(uint16_t percent, uint16_t* transmit, uint16_t* receive)
{
    const uint32_t tx = kBufferPool * static_cast<uint32_t>(percent) / 100u;
    if (tx == 0 || tx >= kBufferPool)
        return false;
    *transmit = static_cast<uint16_t>(tx);
    *receive = static_cast<uint16_t>(kBufferPool - tx);
    return true;
}

Reply SetConfiguration(Adapter& adapter, const uint8_t* data, uint16_t data_length)
{
    if (data_length != kConfigurationSetSize)
        return Answer(RETURN_INVALID_PARAMETER);
    StreamingConfiguration config{};
    memcpy(&config, data, kConfigurationSetSize);
    uint16_t transmit = 0;
    uint16_t receive = 0;
    if (config.baud_rate == 0 || config.baud_rate > kMaxBaudRate || config.max_frame_size == 0 ||
        config.max_frame_size > kMaxFrame || !SplitBuffers(config.percent_tx_buffers, &transmit, &receive))
        return Answer(RETURN_INVALID_PARAMETER);
    config.adapter_frequency = kAdapterFrequency;
    config.transmit_buffers = transmit;
    config.receive_buffers = receive;

    // New buffer sizes and a new split: whatever was queued is lost.
    FlushQueues(adapter);
    adapter.configuration = config;
    adapter.configured = 1;
    adapter.tx.capacity = static_cast<uint8_t>(transmit);
    adapter.rx.capacity = static_cast<uint8_t>(receive);
    return Answer(RETURN_SUCCESS);
}

Reply ReadStatus(const Adapter& adapter, uint8_t* data)
{
    StatusReply status{};
    status.channel_status = adapter.channel_enabled ? 1 : 0;
    // Frames waiting in the driver's queue and the adapter's buffers; 0xFFFF
    // is kept for "unknown", so a count that does not fit shows as 0xFFFE.
    const uint32_t waiting = FramesWaiting(adapter);
    status.rx_frames_queued = static_cast<uint16_t>(waiting < 0xFFFEu ? waiting : 0xFFFEu);
    status.tx_frames_queued = adapter.tx.count;
    if (waiting > 0)
        status.interrupt_pending |= INTERRUPT_RX_FRAME;
    if (adapter.channel_enabled && adapter.tx.count < adapter.tx.capacity)
        status.interrupt_pending |= INTERRUPT_TX_READY;
    if (adapter.modem_changed)
        status.interrupt_pending |= INTERRUPT_MODEM_CHANGE;
    return AnswerWith(data, status);
}

Reply ReadModemLines(Adapter& adapter, uint8_t* data)
{
    ModemLinesReply lines{};
    if (adapter.dcd)
        lines.modem_lines |= MODEM_LINE_DCD;
    if (adapter.cts)
        lines.modem_lines |= MODEM_LINE_CTS;
    adapter.modem_changed = 0;
    return AnswerWith(data, lines);
}

Reply SendFrame(Adapter& adapter, const uint8_t* data, uint16_t data_length, uint64_t now_us)
{
    if (!adapter.configured)
        return Answer(RETURN_NOT_CONFIGURED);
    if (!adapter.channel_enabled)
        return Answer(RETURN_CHANNEL_DISABLED);
    if (!QueueTransmit(adapter, data, data_length, false, now_us))
        return Answer(RETURN_NO_TX_BUFFER);
    return Answer(RETURN_SUCCESS);
}

// Runs one command on `data` (the block's 512 data bytes, holding the
// request's `data_length` bytes) and leaves the reply there.
Reply RunCommand(Adapter& adapter, uint8_t command, uint8_t* data, uint16_t data_length, uint64_t now_us)
{
    switch (command) {
    case READ_STATUS:
        return ReadStatus(adapter, data);
    case SEND_I_FRAME:
        return SendFrame(adapter, data, data_length, now_us);
    case ENABLE_COMMS:
        if (!adapter.configured)
            return Answer(RETURN_NOT_CONFIGURED);
        adapter.channel_enabled = 1;
        return Answer(RETURN_SUCCESS);
    case DISABLE_COMMS:
        adapter.channel_enabled = 0;
        FlushQueues(adapter);
        return Answer(RETURN_SUCCESS);
    case SET_CONFIGURATION:
        return SetConfiguration(adapter, data, data_length);
    case READ_CONFIGURATION:
        if (!adapter.configured)
            return Answer(RETURN_NOT_CONFIGURED);
        return AnswerWith(data, adapter.configuration);
    case READ_STATISTICS:
        return AnswerWith(data, adapter.statistics);
    case ZERO_STATISTICS:
        adapter.statistics = StatisticsReply{};
        RestartThroughputWindows(adapter, now_us);
        return Answer(RETURN_SUCCESS);
    case READ_COMM_ERRORS:
        return AnswerWith(data, adapter.comm_errors);
    case ZERO_COMM_ERRORS:
        adapter.comm_errors = CommErrorsReply{};
        return Answer(RETURN_SUCCESS);
    case SET_DTR_RTS:
        if (data_length != 1)
            return Answer(RETURN_INVALID_PARAMETER);
        adapter.dtr = (data[0] & DTR_HIGH) ? 1 : 0;
        adapter.rts = (data[0] & RTS_HIGH) ? 1 : 0;
        return Answer(RETURN_SUCCESS);
    case READ_DCD_CTS:
        return ReadModemLines(adapter, data);
    case READ_CODE_VERSION: {
        constexpr uint16_t length = sizeof(kCodeVersion) - 1;
        memcpy(data, kCodeVersion, length);
        return Answer(RETURN_SUCCESS, length);
    }
    case BRIDGE_RX_TX:
        if (data_length != 1)
            return Answer(RETURN_INVALID_PARAMETER);
        adapter.bridge = data[0] ? 1 : 0;
        return Answer(RETURN_SUCCESS);
    case CRC_CONTROL:
        if (data_length != 1)
            return Answer(RETURN_INVALID_PARAMETER);
        adapter.pass_bad_crc = data[0] ? 1 : 0;
        return Answer(RETURN_SUCCESS);
    default:
        // 0x02, FLUSH_BFRS, 0x0E, 0x0F, 0x12 to READ_INT_TRIGS and anything
        // above the command set: not implemented by the adapter.
        return Answer(RETURN_UNKNOWN_COMMAND);
    }
}

// The scripted fault that takes this call, if any; a script for the command
// itself before one for any command. Consumes one count.
const FaultScript* TakeFault(Adapter& adapter, uint8_t command)
{
    FaultScript* match = nullptr;
    for (FaultScript& script : adapter.faults) {
        if (script.remaining == 0)
            continue;
        if (script.command == command) {
            match = &script;
            break;
        }
        if (script.command == kAnyCommand && match == nullptr)
            match = &script;
    }
    if (match != nullptr)
        --match->remaining;
    return match;
}

bool LengthsValid(const uint8_t* input, uint32_t input_length, uint32_t output_length)
{
    if (input_length < kCommandHeaderSize || input_length > kCommandBlockSize || output_length != kCommandBlockSize)
        return false;
    return input_length == kCommandHeaderSize + ReadLe16(input + 2);
}

// The log entry of a command call, filled from whatever of the block the
// input holds.
SimLogEntry CommandLogEntry(uint32_t control_code, const uint8_t* input, uint32_t input_length, uint32_t output_length)
{
    SimLogEntry entry{};
    entry.control_code = control_code;
    entry.input_length = input_length;
    entry.output_length = output_length;
    entry.return_code = NO_RESPONSE_CODE;
    if (input_length >= 2)
        entry.command = input[1];
    if (input_length >= 4)
        entry.data_length = ReadLe16(input + 2);
    if (input_length > kCommandHeaderSize) {
        const uint32_t present = input_length - kCommandHeaderSize;
        memcpy(entry.data, input + kCommandHeaderSize, present < kLogDataBytes ? present : kLogDataBytes);
    }
    return entry;
}

CallOutcome ExecuteStreamCommand(AdapterBank& bank, unsigned index, uint32_t control_code, const uint8_t* input,
                                 uint32_t input_length, uint8_t* output, uint32_t output_length, uint64_t now_us,
                                 uint32_t* written, SimLogEntry& entry)
{
    if (!LengthsValid(input, input_length, output_length) ||
        (control_code != IOCTL_STREAM_COMMAND && control_code != IOCTL_STREAM_SEND)) {
        entry.outcome = LOG_INVALID_PARAMETER;
        return CallOutcome::InvalidParameter;
    }
    Adapter& adapter = bank.adapters[index];
    if (!adapter.present || !adapter.plugged) {
        entry.outcome = LOG_FAILED;
        return CallOutcome::Failed;
    }

    // The block is built apart from the caller's buffers, which may be one
    // and the same; what the input does not cover comes back as zero.
    uint8_t block[kCommandBlockSize];
    memcpy(block, input, input_length);
    memset(block + input_length, 0, kCommandBlockSize - input_length);
    const uint8_t command = block[1];

    if (const FaultScript* fault = TakeFault(adapter, command)) {
        if (fault->kind == FAULT_FAIL_CALL) {
            entry.outcome = LOG_FAILED;
            return CallOutcome::Failed;
        }
        if (fault->kind == FAULT_RETURN_CODE) {
            block[4] = fault->return_code;
            WriteLe16(block + 2, 0);
        }
        // FAULT_NO_ANSWER: the block goes back exactly as it came.
    } else {
        const Reply reply = RunCommand(adapter, command, block + kCommandHeaderSize, ReadLe16(block + 2), now_us);
        block[4] = reply.return_code;
        WriteLe16(block + 2, reply.data_length);
    }

    memcpy(output, block, kCommandBlockSize);
    *written = kCommandBlockSize;
    entry.return_code = block[4];
    entry.outcome = LOG_COMPLETED;
    return CallOutcome::Completed;
}

// Writes what fits of a receive record: the 16-byte header and as much of
// the frame as the record holds. Returns the bytes written.
uint32_t WriteReceiveRecord(uint8_t* record, uint32_t record_size, uint8_t status, const WaitingFrame* frame)
{
    uint8_t header[kReceiveHeaderSize] = {};
    header[0] = status;
    uint32_t copy = 0;
    if (frame != nullptr) {
        WriteLe16(header + 1, frame->length);
        header[3] = frame->bits;
        WriteLe32(header + 4, frame->timestamp_ms);
        const uint32_t room = record_size > kReceiveHeaderSize ? record_size - kReceiveHeaderSize : 0;
        copy = frame->length < room ? frame->length : room;
    }
    const uint32_t header_bytes = record_size < kReceiveHeaderSize ? record_size : kReceiveHeaderSize;
    memcpy(record, header, header_bytes);
    if (copy > 0) {
        const uint32_t first = copy < frame->first_length ? copy : frame->first_length;
        memcpy(record + kReceiveHeaderSize, frame->first, first);
        if (copy > first)
            memcpy(record + kReceiveHeaderSize + first, frame->second, copy - first);
    }
    return header_bytes + copy;
}

CallOutcome ReceiveFrame(AdapterBank& bank, unsigned index, uint8_t* record, uint32_t record_size,
                         bool first_attempt, uint64_t now_us, uint32_t* written, uint8_t* status)
{
    if (record == nullptr || record_size < kReceiveHeaderSize)
        return CallOutcome::InvalidParameter;
    Adapter& adapter = bank.adapters[index];
    if (!adapter.present)
        return CallOutcome::Failed;
    if (first_attempt && adapter.failing_receives > 0) {
        --adapter.failing_receives;
        return CallOutcome::Failed;
    }
    if (!adapter.plugged || !adapter.channel_enabled) {
        *status = adapter.plugged ? RECEIVE_CHANNEL_DISABLED : RECEIVE_DEVICE_REMOVED;
        *written = WriteReceiveRecord(record, record_size, *status, nullptr);
        return CallOutcome::Completed;
    }
    Settle(bank, now_us);  // an unthrottled generator fills the queue
    if (FramesWaiting(adapter) == 0)
        return CallOutcome::Pending;
    const WaitingFrame frame = OldestWaitingFrame(adapter);
    *status = RECEIVE_FRAME_PRESENT;
    *written = WriteReceiveRecord(record, record_size, *status, &frame);
    RemoveOldestWaitingFrame(adapter);
    return CallOutcome::Completed;
}

uint8_t LogOutcomeOf(CallOutcome outcome)
{
    switch (outcome) {
    case CallOutcome::Completed:
        return LOG_COMPLETED;
    case CallOutcome::InvalidParameter:
        return LOG_INVALID_PARAMETER;
    case CallOutcome::Pending:
        return LOG_PENDED;
    case CallOutcome::Failed:
    default:
        return LOG_FAILED;
    }
}

}  // namespace
}  // namespace detail

using namespace detail;

CallOutcome StreamCommand(AdapterBank& bank, unsigned index, uint32_t control_code,
                          const uint8_t* input, uint32_t input_length,
                          uint8_t* output, uint32_t output_length,
                          uint64_t now_us, uint32_t* written)
{
    uint32_t ignored = 0;
    if (written == nullptr)
        written = &ignored;
    *written = 0;
    if (!ValidIndex(index))
        return CallOutcome::InvalidParameter;
    if (input == nullptr)
        input_length = 0;
    if (output == nullptr)
        output_length = 0;
    Advance(bank, now_us);
    now_us = bank.now_us;

    SimLogEntry entry = CommandLogEntry(control_code, input, input_length, output_length);
    const CallOutcome outcome = ExecuteStreamCommand(bank, index, control_code, input, input_length, output,
                                                     output_length, now_us, written, entry);
    AppendLog(bank, index, entry, now_us);
    Settle(bank, now_us);
    return outcome;
}

CallOutcome Receive(AdapterBank& bank, unsigned index, uint8_t* record, uint32_t record_size,
                    bool first_attempt, uint64_t now_us, uint32_t* written)
{
    uint32_t ignored = 0;
    if (written == nullptr)
        written = &ignored;
    *written = 0;
    if (!ValidIndex(index))
        return CallOutcome::InvalidParameter;
    Advance(bank, now_us);
    now_us = bank.now_us;

    uint8_t status = NO_RESPONSE_CODE;
    const CallOutcome outcome = ReceiveFrame(bank, index, record, record_size, first_attempt, now_us, written, &status);
    if (first_attempt) {
        // Receive calls carry no command block: the entry's return code
        // holds the record's status when the call completed at once.
        SimLogEntry entry{};
        entry.control_code = IOCTL_STREAM_RECEIVE;
        entry.output_length = record == nullptr ? 0 : record_size;
        entry.return_code = status;
        entry.outcome = LogOutcomeOf(outcome);
        AppendLog(bank, index, entry, now_us);
    }
    Settle(bank, now_us);
    return outcome;
}

}  // namespace qz6::sim
