// What a rig script reads and runs: status --json, and the loops of wait
// and send with a fake device and a clock that moves only when waited on.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/qz6sim/sim_parsed.h"
#include "tools/qz6sim/sim_adapter_device.h"
#include "tools/qz6sim/sim_wait.h"

namespace qz6::simtool {
namespace {

using test_support::Parse;
using test_support::Parsed;

struct Output {
    std::vector<char> text = std::vector<char>(kOutputBufferSize);
    std::vector<char> error_text = std::vector<char>(1024);
    TextBuffer out = MakeTextBuffer(text);
    TextBuffer error = MakeTextBuffer(error_text);
    std::string Out() const { return {out.data, out.length}; }
    std::string Error() const { return {error.data, error.length}; }
};

class FakeClock final : public Clock {
public:
    uint64_t NowUs() override { return now_us; }
    void WaitUntilUs(uint64_t time_us) override { now_us = time_us > now_us ? time_us : now_us; }
    uint64_t now_us = 7'000'000;
};

TEST(StatusJson, EveryFieldOnceUnderAStableName)
{
    auto status = std::make_unique<SimStatus>();
    memset(status.get(), 0, sizeof(SimStatus));
    memcpy(status->version, "2.1\"\x01\xE9", 6);
    SimAdapterStatus& a = status->adapters[1];
    a.present = 1;
    a.channel_enabled = 1;
    a.cable = CABLE_NULL_MODEM;
    a.peer = 0;
    a.statistics.rx_frames = 4000000000u;
    a.impairments = {{10, 0, 0, 0}, 100, 10, 0, 0, 0};
    a.generator_enabled = 1;
    a.generator_remaining = 12;
    a.comm_errors.cts_drops = 255;
    a.driver_queue_max_bytes = 262144;
    a.driver_queue_frames = 3;
    status->adapters[2].present = 1;
    status->adapters[2].generator_remaining = 12;  // left from a generator switched off

    Output all;
    FormatStatusJson(*status, *Parse({"status", "--all", "--json"}).request, &all.out);
    const std::string text = all.Out();
    EXPECT_EQ(text.rfind("[\n  {\n    \"adapter\": \"ROZAR6O0\",\n    \"index\": 0,\n", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 25), "    \"cts_drops\": 0\n  }\n]\n");
    size_t objects = 0;
    for (size_t at = text.find("\n  {\n"); at != std::string::npos; at = text.find("\n  {\n", at + 1))
        ++objects;
    EXPECT_EQ(objects, kAdapterCount);

    Output one;
    FormatStatusJson(*status, *Parse({"status", "1", "--json"}).request, &one.out);
    const std::string object = one.Out();
    for (const char* line : {"\"driver_version\": \"2.1\\\"\\u0001\\u00E9\",", "\"comms\": true,",
                             "\"cable\": \"null-modem\",", "\"peer\": \"ROZAR6O0\",", "\"rx_frames\": 4000000000,",
                             "\"impair_drop_every\": 10,", "\"impaired_dropped\": 10,", "\"gen_remaining\": 12,",
                             "\"driver_queue_max_bytes\": 262144,", "\"driver_queue_frames\": 3,",
                             "\"cts_drops\": 255\n"})
        EXPECT_NE(object.find(line), std::string::npos) << line << "\nin:\n" << object;
    std::set<std::string> keys;
    size_t count = 0;
    for (size_t at = object.find("\n    \""); at != std::string::npos; at = object.find("\n    \"", at + 1), ++count)
        keys.insert(object.substr(at + 6, object.find('"', at + 6) - at - 6));
    EXPECT_EQ(keys.size(), count) << "a key given twice";
    for (const char* key : {"rx_frames", "tx_frames", "rx_queued", "tx_queued", "gen_remaining", "comms",
                            "impaired_dropped", "impaired_corrupted", "impaired_crc_errors", "impaired_aborted"})
        EXPECT_EQ(keys.count(key), 1u) << key;

    Output off;
    FormatStatusJson(*status, *Parse({"status", "2", "--json"}).request, &off.out);
    EXPECT_NE(off.Out().find("\"peer\": null,"), std::string::npos);
    EXPECT_NE(off.Out().find("\"gen_remaining\": 0,"), std::string::npos);
}

class FakeStatus final : public StatusPort {
public:
    bool ReadStatus(SimStatus* status, uint32_t* error) override
    {
        if (reads == fail_at) {
            *error = 6;
            return false;
        }
        memset(status, 0, sizeof(*status));
        status->adapters[1].statistics.rx_frames = 100 * ++reads;
        status->adapters[1].channel_enabled = 1;
        return true;
    }
    uint32_t reads = 0;
    uint32_t fail_at = UINT32_MAX;
};

TEST(RunWait, PollsUntilTheCounterHoldsOrTheTimeOut)
{
    struct Row {
        std::vector<const char*> args;
        uint32_t fail_at;  // the read that fails
        ExitStatus status;
        uint32_t reads;
        const char* out;
        const char* error;
    };
    const Row rows[] = {
        {{"wait", "1", "rx_frames", ">=", "100"}, 9, ExitStatus::Done, 1, "rx_frames 100\n", ""},
        {{"wait", "1", "rx_frames", "==", "500"}, 9, ExitStatus::Done, 5, "rx_frames 500\n", ""},
        {{"wait", "1", "comms", "eq", "1"}, 9, ExitStatus::Done, 1, "comms 1\n", ""},
        {{"wait", "1", "rx_frames", "<=", "50", "--timeout", "0.1"}, 9, ExitStatus::TimedOut, 6, "rx_frames 600\n",
         "qz6sim: wait: KORQZ6C1 rx_frames is 600 after 0.100 s, not <= 50\n"},
        {{"wait", "0", "rx_frames", "ge", "1", "--timeout", "0"}, 9, ExitStatus::TimedOut, 1, "rx_frames 0\n",
         "qz6sim: wait: ROZAR6O0 rx_frames is 0 after 0.000 s, not >= 1\n"},
        {{"wait", "1", "rx_frames", "ge", "1000"}, 2, ExitStatus::CallFailed, 2, "",
         "qz6sim: wait: reading the simulator's status failed (error 6)\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.error);
        FakeStatus port;
        port.fail_at = row.fail_at;
        FakeClock clock;
        Output output;
        auto scratch = std::make_unique<SimStatus>();
        EXPECT_EQ(RunWait(*Parse(row.args).request, port, clock, scratch.get(), &output.out, &output.error), row.status);
        EXPECT_EQ(port.reads, row.reads);
        EXPECT_EQ(output.Out(), row.out);
        EXPECT_EQ(output.Error(), row.error);
    }
}

// An adapter's device: answers each call with the next scripted return code
// (then success), each call taking 100 microseconds.
class FakeAdapter final : public AdapterPort {
public:
    explicit FakeAdapter(FakeClock& clock) : clock_(clock) {}
    bool Execute(uint32_t control_code, CommandBlock* block, uint32_t* error) override
    {
        if (calls.size() == fail_at) {
            *error = 1167;
            return false;
        }
        calls.push_back({clock_.now_us, control_code, block->command,
                         std::vector<uint8_t>(block->data, block->data + block->data_length)});
        block->return_code = calls.size() <= answers.size() ? answers[calls.size() - 1] : RETURN_SUCCESS;
        clock_.now_us += 100;
        return true;
    }
    struct Call {
        uint64_t at_us;
        uint32_t control_code;
        uint8_t command;
        std::vector<uint8_t> data;
    };
    std::vector<Call> calls;
    std::vector<uint8_t> answers;
    size_t fail_at = SIZE_MAX;

private:
    FakeClock& clock_;
};

TEST(RunSend, SendsPacedFramesAndWaitsOutAFullTransmitter)
{
    FakeClock clock;
    FakeAdapter adapter(clock);
    adapter.answers = {RETURN_SUCCESS, RETURN_NO_TX_BUFFER, RETURN_NO_TX_BUFFER};
    Output output;
    CommandBlock block{};
    SendTally tally{};
    const Parsed paced = Parse({"send", "1", "--length", "3", "--count", "3", "--rate", "100"});
    EXPECT_EQ(RunSend(*paced.request, adapter, clock, &block, &tally, &output.out, &output.error), ExitStatus::Done);
    const std::vector<uint64_t> at = {7'000'000, 7'010'000, 7'011'100, 7'012'200, 7'020'000};
    ASSERT_EQ(adapter.calls.size(), at.size());
    for (size_t i = 0; i < at.size(); ++i) {
        EXPECT_EQ(adapter.calls[i].at_us, at[i]) << i;
        EXPECT_EQ(adapter.calls[i].control_code, IOCTL_STREAM_SEND);
        EXPECT_EQ(adapter.calls[i].command, SEND_I_FRAME);
    }
    EXPECT_EQ(adapter.calls[0].data, (std::vector<uint8_t>{0, 1, 2}));
    EXPECT_EQ(adapter.calls[3].data, (std::vector<uint8_t>{1, 2, 3}));  // the second frame, taken at last
    EXPECT_EQ(adapter.calls[4].data, (std::vector<uint8_t>{2, 3, 4}));
    EXPECT_EQ(tally.full_waits, 2u);
    EXPECT_EQ(output.Out(), "KORQZ6C1: 3 frames sent (3 bytes each) in 0.020 s\n");

    struct Row {
        uint8_t answer;  // to the third frame
        ExitStatus status;
        const char* error;
    };
    const Row rows[] = {
        {RETURN_CHANNEL_DISABLED, ExitStatus::CommsDisabled,
         "qz6sim: send: communications are off on ROZAR6O0 ('qz6sim comms ROZAR6O0 on' turns them on)\n"},
        {RETURN_NOT_CONFIGURED, ExitStatus::NotConfigured,
         "qz6sim: send: ROZAR6O0 is not configured ('qz6sim configure ROZAR6O0' writes the default configuration)\n"},
        {RETURN_INVALID_PARAMETER, ExitStatus::CallFailed,
         "qz6sim: send: ROZAR6O0 answered SEND_I_FRAME with 0x02 (a value the adapter cannot take)\n"},
        {NO_RESPONSE_CODE, ExitStatus::CallFailed, "qz6sim: send: ROZAR6O0 answered SEND_I_FRAME with 0xAA (no answer)\n"},
    };
    const Parsed hex = Parse({"send", "0", "7E", "01", "--count", "5"});
    for (const Row& row : rows) {
        FakeAdapter refusing(clock);
        refusing.answers = {RETURN_SUCCESS, RETURN_SUCCESS, row.answer};
        Output refused;
        EXPECT_EQ(RunSend(*hex.request, refusing, clock, &block, &tally, &refused.out, &refused.error), row.status);
        EXPECT_EQ(refusing.calls.size(), 3u);
        EXPECT_EQ(refusing.calls[2].data, (std::vector<uint8_t>{0x7E, 0x01}));
        EXPECT_EQ(refused.Out().substr(0, 30), "ROZAR6O0: 2 frames sent (2 byt");
        EXPECT_EQ(refused.Error(), row.error);
    }
    FakeAdapter failing(clock);
    failing.fail_at = 1;
    Output failed;
    EXPECT_EQ(RunSend(*hex.request, failing, clock, &block, &tally, &failed.out, &failed.error), ExitStatus::CallFailed);
    EXPECT_EQ(failed.Error(), "qz6sim: send: the call on ROZAR6O0 failed (error 1167)\n");
}

}  // namespace
}  // namespace qz6::simtool
