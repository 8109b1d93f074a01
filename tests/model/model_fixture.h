// A bank of simulated adapters driven through the model's public interface,
// with the requests a driver would pass, and a clock the tests move by hand.
#pragma once

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "driver/model/adapter_model.h"

namespace qz6::sim::test {

// Adapters 0 to 3 are present (nonzero interrupt), 4 to 7 are not.
constexpr unsigned kPresentAdapters = 4;
constexpr unsigned kAbsentAdapter = 5;

// The wire layouts are packed: their fields are read through a copy, never
// bound to a reference (an unaligned reference is undefined behaviour).
template <typename T>
constexpr T Got(T value)
{
    return value;
}

struct Configuration {
    uint32_t baud_rate = 56000;
    uint16_t max_frame_size = 2000;
    uint16_t percent_tx_buffers = 50;
    uint16_t operational_bits = OPERATIONAL_RS232;
    uint16_t modem_bits = 0;
    uint16_t statistics_bits = STATISTICS_COUNT_TX | STATISTICS_COUNT_RX;
};

struct CommandResult {
    CallOutcome outcome;
    uint32_t written;
    CommandBlock block;
};

struct ReceiveResult {
    CallOutcome outcome;
    uint32_t written;
    std::vector<uint8_t> record;

    uint8_t status() const { return record[0]; }
    uint16_t frame_length() const { return static_cast<uint16_t>(record[1] | (record[2] << 8)); }
    uint8_t frame_bits() const { return record[3]; }
    uint32_t timestamp_ms() const
    {
        uint32_t value;
        memcpy(&value, &record[4], 4);
        return value;
    }
    std::vector<uint8_t> data() const
    {
        const size_t end = written > kReceiveHeaderSize ? written : kReceiveHeaderSize;
        return std::vector<uint8_t>(record.begin() + kReceiveHeaderSize, record.begin() + end);
    }
};

class ModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (unsigned i = 0; i < kAdapterCount; ++i)
            resources_[i] = AdapterResources{0x300u + 0x10u * i, 0xD0000u + 0x1000u * i, i < kPresentAdapters ? 5u + i : 0u};
        PowerOn(*bank_, resources_, now_);
    }

    void Wait(uint64_t us)
    {
        now_ += us;
        Advance(*bank_, now_);
    }

    CommandResult Command(unsigned adapter, uint8_t command, const std::vector<uint8_t>& data = {},
                          uint32_t control_code = IOCTL_STREAM_COMMAND)
    {
        CommandBlock request{};
        request.command = command;
        request.data_length = static_cast<uint16_t>(data.size());
        request.return_code = NO_RESPONSE_CODE;
        if (!data.empty())
            memcpy(request.data, data.data(), data.size());
        CommandResult result{};
        memset(&result.block, 0xEE, sizeof(result.block));
        result.outcome = StreamCommand(*bank_, adapter, control_code, reinterpret_cast<const uint8_t*>(&request),
                                       kCommandHeaderSize + request.data_length,
                                       reinterpret_cast<uint8_t*>(&result.block), kCommandBlockSize, now_,
                                       &result.written);
        return result;
    }

    // The return code of a command that must complete.
    uint8_t Code(unsigned adapter, uint8_t command, const std::vector<uint8_t>& data = {})
    {
        const CommandResult result = Command(adapter, command, data);
        EXPECT_EQ(result.outcome, CallOutcome::Completed);
        return result.block.return_code;
    }

    static std::vector<uint8_t> SetForm(const Configuration& c)
    {
        StreamingConfiguration config{c.baud_rate, c.max_frame_size, c.percent_tx_buffers, c.operational_bits,
                                      c.modem_bits, c.statistics_bits, 0, 0, 0};
        std::vector<uint8_t> bytes(kConfigurationSetSize);
        memcpy(bytes.data(), &config, bytes.size());
        return bytes;
    }

    void Configure(unsigned adapter, const Configuration& c = {})
    {
        ASSERT_EQ(Code(adapter, SET_CONFIGURATION, SetForm(c)), RETURN_SUCCESS);
    }

    void ConfigureAndEnable(unsigned adapter, const Configuration& c = {})
    {
        Configure(adapter, c);
        ASSERT_EQ(Code(adapter, ENABLE_COMMS), RETURN_SUCCESS);
    }

    uint8_t Send(unsigned adapter, const std::vector<uint8_t>& frame) { return Code(adapter, SEND_I_FRAME, frame); }

    template <typename Reply>
    Reply Read(unsigned adapter, uint8_t command)
    {
        const CommandResult result = Command(adapter, command);
        EXPECT_EQ(result.block.return_code, RETURN_SUCCESS);
        EXPECT_EQ(result.block.data_length, sizeof(Reply));
        Reply reply;
        memcpy(&reply, result.block.data, sizeof(reply));
        return reply;
    }

    StatisticsReply Statistics(unsigned adapter) { return Read<StatisticsReply>(adapter, READ_STATISTICS); }
    CommErrorsReply CommErrors(unsigned adapter) { return Read<CommErrorsReply>(adapter, READ_COMM_ERRORS); }
    StatusReply Status(unsigned adapter) { return Read<StatusReply>(adapter, READ_STATUS); }
    uint8_t ModemLines(unsigned adapter) { return Read<ModemLinesReply>(adapter, READ_DCD_CTS).modem_lines; }

    ReceiveResult ReceiveCall(unsigned adapter, uint32_t record_size = kReceiveRecordSize, bool first_attempt = true)
    {
        ReceiveResult result{};
        result.record.assign(record_size, 0xEE);
        result.outcome = Receive(*bank_, adapter, result.record.data(), record_size, first_attempt, now_,
                                 &result.written);
        return result;
    }

    // Drains the receive queue; returns the frames' data.
    std::vector<std::vector<uint8_t>> ReceiveAll(unsigned adapter)
    {
        std::vector<std::vector<uint8_t>> frames;
        for (;;) {
            const ReceiveResult result = ReceiveCall(adapter);
            if (result.outcome != CallOutcome::Completed || result.status() != RECEIVE_FRAME_PRESENT)
                return frames;
            frames.push_back(result.data());
        }
    }

    // Control device requests.
    template <typename Request>
    CallOutcome Sim(uint32_t control_code, const Request& request)
    {
        uint32_t written = 0;
        return SimControl(*bank_, control_code, reinterpret_cast<const uint8_t*>(&request), sizeof(request), nullptr, 0,
                          now_, &written);
    }

    uint8_t Inject(unsigned adapter, const std::vector<uint8_t>& frame, uint8_t flags = 0, uint8_t frame_bits = 0)
    {
        std::vector<uint8_t> input(sizeof(SimInjectHeader) + frame.size());
        const SimInjectHeader header{static_cast<uint8_t>(adapter), frame_bits, flags, 0,
                                     static_cast<uint16_t>(frame.size())};
        memcpy(input.data(), &header, sizeof(header));
        if (!frame.empty())
            memcpy(input.data() + sizeof(header), frame.data(), frame.size());
        SimInjectResult result{0xEE};
        uint32_t written = 0;
        EXPECT_EQ(SimControl(*bank_, IOCTL_SIM_INJECT_FRAME, input.data(), static_cast<uint32_t>(input.size()),
                             &result.outcome, sizeof(result), now_, &written),
                  CallOutcome::Completed);
        EXPECT_EQ(written, sizeof(result));
        return result.outcome;
    }

    CallOutcome SetCable(unsigned adapter, uint8_t kind, unsigned peer = 0)
    {
        return Sim(IOCTL_SIM_SET_CABLE,
                   SimCableRequest{static_cast<uint8_t>(adapter), kind, static_cast<uint8_t>(peer)});
    }

    CallOutcome Fault(unsigned adapter, uint8_t command, uint8_t kind, uint8_t return_code, uint32_t count)
    {
        return Sim(IOCTL_SIM_SCRIPT_FAULT,
                   SimFaultRequest{static_cast<uint8_t>(adapter), command, kind, return_code, count});
    }

    CallOutcome SetPlugged(unsigned adapter, bool plugged)
    {
        return Sim(IOCTL_SIM_SET_PLUGGED, SimPlugRequest{static_cast<uint8_t>(adapter), static_cast<uint8_t>(plugged)});
    }

    CallOutcome SetGenerator(unsigned adapter, bool enabled, uint16_t length, uint32_t rate, uint32_t count)
    {
        return Sim(IOCTL_SIM_SET_GENERATOR,
                   SimGeneratorRequest{static_cast<uint8_t>(adapter), static_cast<uint8_t>(enabled), length, rate, count});
    }

    CallOutcome SetImpairments(unsigned adapter, SimImpairmentRates every)
    {
        return Sim(IOCTL_SIM_SET_IMPAIRMENTS, SimImpairRequest{static_cast<uint8_t>(adapter), {}, every});
    }

    CallOutcome SetDriverQueue(unsigned adapter, uint32_t max_frames, uint32_t max_bytes)
    {
        return Sim(IOCTL_SIM_SET_DRIVER_QUEUE, SimDriverQueueRequest{static_cast<uint8_t>(adapter), {}, max_frames, max_bytes});
    }

    SimStatus GetStatus()
    {
        auto status = std::make_unique<SimStatus>();
        uint32_t written = 0;
        EXPECT_EQ(SimControl(*bank_, IOCTL_SIM_GET_STATUS, nullptr, 0, reinterpret_cast<uint8_t*>(status.get()),
                             sizeof(SimStatus), now_, &written),
                  CallOutcome::Completed);
        EXPECT_EQ(written, sizeof(SimStatus));
        return *status;
    }

    std::unique_ptr<SimLog> ReadLog(unsigned adapter)
    {
        auto log = std::make_unique<SimLog>();
        const SimAdapterRequest request{static_cast<uint8_t>(adapter)};
        uint32_t written = 0;
        EXPECT_EQ(SimControl(*bank_, IOCTL_SIM_READ_LOG, &request.adapter, sizeof(request),
                             reinterpret_cast<uint8_t*>(log.get()), sizeof(SimLog), now_, &written),
                  CallOutcome::Completed);
        return log;
    }

    static std::vector<uint8_t> Bytes(const char* text) { return std::vector<uint8_t>(text, text + strlen(text)); }

    std::unique_ptr<AdapterBank> bank_ = std::make_unique<AdapterBank>();
    AdapterResources resources_[kAdapterCount];
    uint64_t now_ = 5'000'000'000;  // the clock's origin is arbitrary
};

}  // namespace qz6::sim::test
